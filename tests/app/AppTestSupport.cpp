#include "AppTestSupport.h"

#include <unistd.h>

#include <QAbstractItemModel>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QWidget>
#include <algorithm>

#include "TestMedia.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"
#include "app/JobListModel.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"
#include "platform/Translations.h"

namespace apptest {

void EnsureApp() {
    if (!widgettest::EnsureApp("app_tests")) return;
    app::ConnectDispatcherToEventLoop();
    app::InstallFontSubstitutes();
    platform::InstallQtTranslations();
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

QString MakeClip(const std::string& dir, const std::string& name, const std::string& args) {
    const std::string out = dir + "/" + name;
    std::string error;
    if (!testmedia::RunFfmpeg("-nostdin -v error -y " + args + " " + testmedia::Quote(out),
                              &error)) {
        ADD_FAILURE() << "cannot make " << name << ": " << error;
        return {};
    }
    return QString::fromStdString(out);
}

QString LongClip(int seconds) {
    const QString folder = QFileInfo(QString::fromStdString(testmedia::Path("wav_pcm"))).path();
    const QString final = folder + QStringLiteral("/app_long%1s.avi").arg(seconds);
    if (QFileInfo::exists(final)) return final;
    const std::string tmp = "app_long_" + std::to_string(::getpid()) + ".avi";
    const std::string length = std::to_string(seconds);
    const QString made = MakeClip(folder.toStdString(), tmp,
                                  "-f lavfi -i testsrc=size=320x240:rate=25:duration=" + length +
                                      " -f lavfi -i sine=frequency=440:duration=" + length +
                                      " -c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 96k");
    if (made.isEmpty()) return {};
    // Whole before it appears under its name; a second maker's rename replaces it harmlessly.
    if (::rename(made.toUtf8().constData(), final.toUtf8().constData()) != 0) {
        ADD_FAILURE() << "rename failed";
        return {};
    }
    return final;
}

QString CopyOf(const std::string& id, const std::string& dir, const std::string& name) {
    const QString target = QString::fromStdString(dir + "/" + name);
    QFile::remove(target);
    if (!QFile::copy(QString::fromStdString(testmedia::Path(id)), target)) {
        ADD_FAILURE() << "cannot copy " << id;
        return {};
    }
    return target;
}

std::map<QString, std::string> FolderState(const QString& dir) {
    std::map<QString, std::string> state;
    for (const QFileInfo& info : QDir(dir).entryInfoList(QDir::Files | QDir::Dirs |
                                                         QDir::NoDotAndDotDot | QDir::Hidden)) {
        QFile file(info.filePath());
        QByteArray hash;
        if (file.open(QIODevice::ReadOnly))
            hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        state[info.fileName()] = std::to_string(info.size()) + " " + hash.toStdString() + " " +
                                 std::to_string(testsupport::MTimeNs(info.filePath().toStdString()));
    }
    return state;
}

int PartLog::count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

namespace {

// A stand-in part: records each call into the shared log.
class Recording {
public:
    explicit Recording(std::shared_ptr<PartLog> log) : log_(std::move(log)) {}

protected:
    void Log(const std::string& call) { log_->calls.push_back(call); }
    std::shared_ptr<PartLog> log_;
};

class RecordingPlayer final : public app::IPlayerPanel, Recording {
public:
    RecordingPlayer(app::IMainWindowHost& host, std::shared_ptr<PartLog> log)
        : Recording(std::move(log)) {
        widget_ = new QGroupBox(host.Window());
        widget_->setObjectName(QStringLiteral("RecordingPlayer"));
    }
    QWidget* Widget() override { return widget_; }
    void ReadSnapshotFormat() override { Log("player:ReadSnapshotFormat"); }
    void ResetSeekBar() override { Log("player:ResetSeekBar"); }
    void SetSelectedSourceFile(const QString& path) override {
        Log("player:Select " + path.toStdString());
    }
    void PlaySelected() override { Log("player:PlaySelected"); }
    void Stop() override { Log("player:Stop"); }
    void StopAndRepaint() override { Log("player:StopAndRepaint"); }
    void DetachHandlers() override { Log("player:DetachHandlers"); }

private:
    QWidget* widget_;
};

class RecordingSkins final : public app::ISkins, Recording {
public:
    using Recording::Recording;
    void ApplySaved(QWidget* window) override {
        Log("skins:ApplySaved " + window->objectName().toStdString());
    }
    void FillSkinMenu(QMenu*, QWidget*) override { Log("skins:FillSkinMenu"); }
};

class RecordingHelp final : public app::IHelpActions, Recording {
public:
    using Recording::Recording;
    void OpenHelp() override { Log("help:OpenHelp"); }
    void ShowUpdateDialog() override { Log("help:ShowUpdateDialog"); }
    void OpenWebSite() override { Log("help:OpenWebSite"); }
    void OpenMailAddress() override { Log("help:OpenMailAddress"); }
    void ShowAbout() override { Log("help:ShowAbout"); }
};

class RecordingPassword final : public app::IPasswordCheck, Recording {
public:
    using Recording::Recording;
    bool CheckAtStart(QWidget*) override {
        Log("password:CheckAtStart");
        return log_->passwordResult;
    }
};

class RecordingInformation final : public app::IInformationWindow, Recording {
public:
    using Recording::Recording;
    void ShowFor(const QString& path) override { Log("info:ShowFor " + path.toStdString()); }
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
             widgettest::Button(picker, "下一步")->click();
         }},
        {[options] { return options->isVisible(); },
         [options] { widgettest::Button(options, "确定")->click(); }},
    };
}

std::vector<Script::Step> PickAndCancel(TForm1* form) {
    TForm7* picker = form->Form7();
    return {{[picker] { return picker->isVisible(); },
             [picker] { widgettest::Button(picker, "取消")->click(); }}};
}

void WindowTest::SetUp() { EnsureApp(); }

void WindowTest::TearDown() {
    if (form_) form_->close();
    form_.reset();
}

void WindowTest::Create() {
    form_ = std::make_unique<TForm1>(app::Services{&dialogs_, &shell_, &power_, &notifier_},
                                     RecordingParts(parts_));
}

void WindowTest::CreateWithFolders() {
    src_ = testsupport::ScratchDir("src");
    Create();
    out_ = form_->OutputFolder();
    QDir(out_).removeRecursively();
    QDir().mkpath(out_);
}

QString WindowTest::Clip(const std::string& name, const std::string& id) const {
    return CopyOf(id, src_, name);
}

void WindowTest::AddOne(const QString& path, std::vector<Script::Step> steps) {
    AddSeveral({path}, std::move(steps), false);
}

void WindowTest::AddSeveral(const QStringList& paths, std::vector<Script::Step> steps,
                            bool several) {
    dialogs_.openAnswers.push_back(paths);
    if (steps.empty()) steps = PickAndConfirm(form_.get());
    Script script(std::move(steps));
    several ? form_->N2Click() : form_->MenuItem15Click();
    EXPECT_TRUE(script.Finished()) << "the addition did not go through its dialogs";
}

QString WindowTest::Cell(int row, int column) const {
    return form_->Model()->index(row, column).data().toString();
}

QStringList WindowTest::Column(int column) const {
    QStringList out;
    for (int r = 0; r < form_->Model()->rowCount(); ++r) out << Cell(r, column);
    return out;
}

QStringList WindowTest::Sources() const { return Column(app::kColSource); }

QStringList WindowTest::Statuses() const { return Column(app::kColStatus); }

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
