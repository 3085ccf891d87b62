#include "AppTestSupport.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QWidget>
#include <algorithm>

#include "app/JobListModel.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"

namespace apptest {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    new QApplication(argc, argv);
    app::ConnectDispatcherToEventLoop();
    app::InstallFontSubstitutes();
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int PartLog::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

namespace {

class RecordingPlayer final : public app::IPlayerPanel {
public:
    RecordingPlayer(app::IMainWindowHost& host, std::shared_ptr<PartLog> log)
        : log_(std::move(log)) {
        widget_ = new QGroupBox(host.Window());
        widget_->setObjectName(QStringLiteral("RecordingPlayer"));
    }
    QWidget* Widget() override { return widget_; }
    void ReadSnapshotFormat() override { log_->calls.push_back("player:ReadSnapshotFormat"); }
    void ResetSeekBar() override { log_->calls.push_back("player:ResetSeekBar"); }
    void SetSelectedSourceFile(const QString& path) override {
        log_->calls.push_back("player:Select " + path.toStdString());
    }
    void PlaySelected() override { log_->calls.push_back("player:PlaySelected"); }
    void Stop() override { log_->calls.push_back("player:Stop"); }
    void StopAndRepaint() override { log_->calls.push_back("player:StopAndRepaint"); }
    void DetachHandlers() override { log_->calls.push_back("player:DetachHandlers"); }

private:
    std::shared_ptr<PartLog> log_;
    QWidget* widget_;
};

class RecordingSkins final : public app::ISkins {
public:
    explicit RecordingSkins(std::shared_ptr<PartLog> log) : log_(std::move(log)) {}
    void ApplySaved(QWidget* window) override {
        log_->calls.push_back("skins:ApplySaved " + window->objectName().toStdString());
    }
    void FillSkinMenu(QMenu*, QWidget*) override { log_->calls.push_back("skins:FillSkinMenu"); }

private:
    std::shared_ptr<PartLog> log_;
};

class RecordingHelp final : public app::IHelpActions {
public:
    explicit RecordingHelp(std::shared_ptr<PartLog> log) : log_(std::move(log)) {}
    void OpenHelp() override { log_->calls.push_back("help:OpenHelp"); }
    void ShowUpdateDialog() override { log_->calls.push_back("help:ShowUpdateDialog"); }
    void OpenWebSite() override { log_->calls.push_back("help:OpenWebSite"); }
    void OpenMailAddress() override { log_->calls.push_back("help:OpenMailAddress"); }
    void ShowAbout() override { log_->calls.push_back("help:ShowAbout"); }

private:
    std::shared_ptr<PartLog> log_;
};

class RecordingPassword final : public app::IPasswordCheck {
public:
    explicit RecordingPassword(std::shared_ptr<PartLog> log) : log_(std::move(log)) {}
    bool CheckAtStart(QWidget*) override {
        log_->calls.push_back("password:CheckAtStart");
        return log_->passwordResult;
    }

private:
    std::shared_ptr<PartLog> log_;
};

class RecordingInformation final : public app::IInformationWindow {
public:
    explicit RecordingInformation(std::shared_ptr<PartLog> log) : log_(std::move(log)) {}
    void ShowFor(const QString& path) override {
        log_->calls.push_back("info:ShowFor " + path.toStdString());
    }

private:
    std::shared_ptr<PartLog> log_;
};

}  // namespace

app::PartFactories RecordingParts(std::shared_ptr<PartLog> log) {
    app::PartFactories f;
    f.skins = [log](app::IMainWindowHost&) {
        log->calls.push_back("create:skins");
        return std::make_unique<RecordingSkins>(log);
    };
    f.help = [log](app::IMainWindowHost&) {
        log->calls.push_back("create:help");
        return std::make_unique<RecordingHelp>(log);
    };
    f.password = [log](app::IMainWindowHost&) {
        log->calls.push_back("create:password");
        return std::make_unique<RecordingPassword>(log);
    };
    f.information = [log](app::IMainWindowHost&) {
        log->calls.push_back("create:information");
        return std::make_unique<RecordingInformation>(log);
    };
    f.player = [log](app::IMainWindowHost& host) {
        log->calls.push_back("create:player");
        return std::make_unique<RecordingPlayer>(host, log);
    };
    return f;
}

Script::Script(std::vector<Step> steps) : steps_(std::move(steps)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(5);
}

void Script::Tick() {
    if (Finished()) {
        timer_.stop();
        return;
    }
    if (++ticks_ > 4000) {  // about 20 s
        timedOut_ = true;
        timer_.stop();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
        return;
    }
    if (!steps_[next_].first()) return;
    ++next_;
    ticks_ = 0;
    steps_[next_ - 1].second();
}

namespace {

QPushButton* ButtonIn(QWidget* w, const char* text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == U(text)) return b;
    ADD_FAILURE() << "no button " << text;
    return nullptr;
}

}  // namespace

std::vector<Script::Step> PickAndConfirm(TForm1* form, int tab, int position) {
    TForm7* picker = form->Form7();
    TForm8* options = form->Form8();
    return {
        {[picker] { return picker->isVisible(); },
         [picker, tab, position] {
             if (tab >= 0) {
                 picker->Pages()->setCurrentIndex(tab);
                 picker->List(tab)->setCurrentRow(position);
             }
             ButtonIn(picker, "下一步")->click();
         }},
        {[options] { return options->isVisible(); },
         [options] { ButtonIn(options, "确定")->click(); }},
    };
}

std::vector<Script::Step> PickAndCancel(TForm1* form) {
    TForm7* picker = form->Form7();
    return {{[picker] { return picker->isVisible(); },
             [picker] { ButtonIn(picker, "取消")->click(); }}};
}

void WindowTest::SetUp() { EnsureApp(); }

void WindowTest::TearDown() {
    if (form_) form_->close();
    form_.reset();
}

void WindowTest::Create() {
    form_ = std::make_unique<TForm1>(app::Services{&dialogs_, &shell_, &power_},
                                     RecordingParts(parts_));
}

void WindowTest::AddOne(const QString& path, std::vector<Script::Step> steps) {
    dialogs_.openAnswers.push_back({path});
    if (steps.empty()) steps = PickAndConfirm(form_.get());
    Script script(std::move(steps));
    form_->MenuItem15Click();
    EXPECT_TRUE(script.Finished()) << "the addition did not go through its dialogs";
}

void WindowTest::AddSeveral(const QStringList& paths, std::vector<Script::Step> steps) {
    dialogs_.openAnswers.push_back(paths);
    if (steps.empty()) steps = PickAndConfirm(form_.get());
    Script script(std::move(steps));
    form_->N2Click();
    EXPECT_TRUE(script.Finished()) << "the addition did not go through its dialogs";
}

QString WindowTest::Cell(int row, int column) const {
    return form_->Model()->index(row, column).data().toString();
}

QStringList WindowTest::Statuses() const {
    QStringList out;
    for (int r = 0; r < form_->Model()->rowCount(); ++r) out << Cell(r, app::kColStatus);
    return out;
}

QString WindowTest::OutputName(int row) const {
    return form_->JobSlots()[row].OutputOptions.FileName;
}

bool WindowTest::Enabled(const char* objectName) const {
    auto* w = form_->findChild<QWidget*>(QString::fromLatin1(objectName));
    EXPECT_NE(w, nullptr) << objectName;
    return w && w->isEnabled();
}

QString WindowTest::LogText() const { return form_->mmoLog()->toPlainText(); }

std::vector<platform::FakeDialogs::Message> MessagesCaptioned(const platform::FakeDialogs& d,
                                                               const QString& caption) {
    std::vector<platform::FakeDialogs::Message> out;
    for (const auto& m : d.messages)
        if (m.caption == caption) out.push_back(m);
    return out;
}

}  // namespace apptest
