// TForm1: running a batch — start, pause, resume, stop, the engine's events, the action after
// the batch.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "app/JobListModel.h"
#include "app/MainWindow.h"
#include "app/Reasons.h"
#include "engine/MainThread.h"
#include "engine/OutputFiles.h"
#include "formats/RecordBuilder.h"
#include "platform/Notifier.h"

using namespace app;
using platform::MessageIcon;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

// While one of these lives, terminations wait in their queue: a modal step (a Stop wait, a
// message box) must not have the batch end under it. The last one to go hands the queue back to
// the event loop.
class TForm1::Busy {
public:
    explicit Busy(TForm1* form) : form_(form) { ++form_->busy_; }
    ~Busy() {
        if (--form_->busy_ == 0 && !form_->pendingTerminations_.empty())
            QTimer::singleShot(0, form_, [form = form_] { form->ProcessTerminations(); });
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    TForm1* form_;
};

std::vector<int> TForm1::Button14Click() {
    QDir().mkpath(outputFolder_);
    engine_.ClearTasks();
    taskRows_.clear();
    std::vector<int> skipped;
    QStringList claimed;  // outputs of the rows before, in this batch
    const formats::OverwritePolicy policy = Policy();
    // No conversion of this program runs now: what a killed run left in the folder goes.
    RemoveLeftoverOutputs(outputFolder_);
    // When names are numbered, a file under a row's output name is kept whenever it appeared:
    // the output takes the next number at the moment it is written.
    engine_.SetExistingOutput(policy == formats::OverwritePolicy::NewName ? ExistingOutput::Number
                                                                          : ExistingOutput::Replace);
    // A row that cannot be set up keeps its reason (in its tooltip and the skip message).
    const auto skip = [&](int row, const char* logHeading) {
        const std::string reason = engine_.LastErrorMessage();
        LogFailure(logHeading, reason);
        model_->SetReason(row, ReasonOf(reason).text);
        skipped.push_back(row);
    };
    for (int row = 0; row < model_->Count(); ++row) {
        log_->clear();
        model_->SetReason(row, QString());
        const JobSlot& slot = slots_[row];
        const int task = engine_.AddTask(slot.InputOptions.FileName, &slot.InputOptions);
        if (task < 0) {
            skip(row, "***打开文件失败: ");
            continue;
        }
        const QString path = formats::BatchOutputName(
            slot.OutputOptions.FileName, outputFolder_, policy,
            [](const QString& p) { return QFileInfo::exists(p); },
            [&](const QString& p) { return claimed.contains(p); });
        TOutputOptions record = slot.OutputOptions;
        record.FileName = path;
        if (!engine_.SetOutputFile(task, path, &record) || engine_.RefuseEmptyOutput(task)) {
            skip(row, "***不能进行正常转换: ");
            engine_.RemoveTask(task);
            continue;
        }
        claimed << path;
        model_->SetOutput(row, path);
        taskRows_.push_back(row);
    }
    return skipped;
}

void TForm1::btnStartClick() {
    if (closing_) return;
    if (runState_ == RunState::Paused) {
        batchPaused_ = false;
        ToolButton5_->setEnabled(true);
        ToolButton3_->setEnabled(false);
        runState_ = RunState::Converting;
        engine_.Resume();
        return;
    }
    if (runState_ != RunState::Idle || model_->Count() == 0) return;

    batchStopRequested_ = false;
    batchPaused_ = false;
    finishedInBatch_ = 0;
    const std::vector<int> skipped = Button14Click();
    for (int row = 0; row < model_->Count(); ++row) {
        model_->SetProgress(row, 0);
        model_->SetStatus(row, status::Ready());
        model_->SetTime(row, QStringLiteral("0"));
    }
    engine_.SetThreadPriority(static_cast<TThreadPriority>(suiComboBox2_->currentIndex()));
    engine_.SetPreview(chkPreview_->isChecked());
    ToolButton1_->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{suiButton3_, suiComboBox4_, suiComboBox2_,
                                                      suiComboBox3_})
        w->setEnabled(false);
    ToolButton5_->setEnabled(true);
    ToolButton4_->setEnabled(true);
    runState_ = RunState::Converting;
    UpdateListButtons();

    Busy busy(this);
    if (!skipped.empty()) {
        QStringList names;
        for (int row : skipped) {
            model_->SetStatus(row, status::Failed());
            names << QString::number(row + 1) + QStringLiteral(". ") + model_->Row(row).Source +
                         U("\n    原因：") + model_->Row(row).Reason;
        }
        Message(U("提示"), U("以下文件无法转换，已跳过：\n") + Listed(names, QStringLiteral("\n")),
                MessageIcon::Information);
        if (closing_) return;
    }
    // The number of files at once never exceeds the rows; a batch with nothing left to convert
    // still ends with the engine's end-of-batch event, which returns the window to Idle.
    const int atOnce = std::clamp(suiComboBox3_->currentIndex() + 1, 1,
                                  std::max(1, static_cast<int>(taskRows_.size())));
    engine_.StartTask(chkThreadMode_->isChecked() ? atOnce : 0);
}

void TForm1::btnPauseClick() {
    if (runState_ != RunState::Converting || closing_) return;
    batchPaused_ = true;
    ToolButton5_->setEnabled(false);
    ToolButton3_->setEnabled(true);
    runState_ = RunState::Paused;
    engine_.Pause();
    for (int row = 0; row < model_->Count(); ++row)
        if (model_->Row(row).Status == status::Converting())
            model_->SetStatus(row, status::Paused());
}

void TForm1::btnStopClick() {
    if ((runState_ != RunState::Converting && runState_ != RunState::Paused) || closing_) return;
    if (inProgressEvent_ > 0) {  // see closeEvent
        QTimer::singleShot(0, this, [this] { btnStopClick(); });
        return;
    }
    Busy busy(this);
    const platform::MessageButton answer = services_.dialogs->ShowMessage(
        this, U("提示信息"), U("您确实要终止目前的转换工作吗？"), MessageIcon::Information,
        platform::MessageButton::Ok | platform::MessageButton::Cancel);
    if (answer != platform::MessageButton::Ok || closing_) return;
    if (runState_ != RunState::Converting && runState_ != RunState::Paused) return;
    batchPaused_ = false;
    batchStopRequested_ = true;
    runState_ = RunState::Stopping;
    ToolButton4_->setEnabled(false);
    ToolButton5_->setEnabled(false);
    ToolButton3_->setEnabled(false);
    // Paused workers wake up to the stop; the pause itself ends with it.
    engine_.Stop(true);
    engine_.Resume();
}

void TForm1::FFmpegVCL1Progress(void*, PProgressInfo info) {
    if (closing_ || !info || info->TaskIndex < 0 ||
        info->TaskIndex >= static_cast<int>(taskRows_.size()))
        return;
    const int row = taskRows_[static_cast<size_t>(info->TaskIndex)];
    ++inProgressEvent_;
    const auto done = qScopeGuard([this] { --inProgressEvent_; });
    if (info->TotalDuration > 0) {
        const int64_t percent = info->CurrentDuration * 100 / info->TotalDuration;
        model_->SetProgress(row, static_cast<int>(std::clamp<int64_t>(percent, 0, 100)));
    }
    model_->SetTime(row, QString::number(std::max<int64_t>(info->CurrentDuration, 0) / 1000000) +
                             U("   (秒)"));
    // A report that was on its way when "暂停" was pressed does not undo the pause; a stop
    // decides the row's status at the end of the batch.
    if (runState_ == RunState::Converting) model_->SetStatus(row, status::Converting());
    else if (runState_ == RunState::Paused) model_->SetStatus(row, status::Paused());
}

void TForm1::FFmpegVCL1Terminate(void*, const TTerminateInfo& info) {
    if (closing_) return;
    pendingTerminations_.push_back(info);
    ProcessTerminations();
}

void TForm1::ProcessTerminations() {
    if (busy_ > 0 || closing_) return;  // the Busy that holds them hands them back
    Busy busy(this);
    while (!pendingTerminations_.empty() && !closing_) {
        const TTerminateInfo info = pendingTerminations_.front();
        pendingTerminations_.pop_front();
        HandleTermination(info);
    }
}

void TForm1::TaskEnded(int taskIndex, bool finished, bool hasError) {
    if (closing_ || taskIndex < 0 || taskIndex >= static_cast<int>(taskRows_.size())) return;
    const int row = taskRows_[static_cast<size_t>(taskIndex)];
    // The name the file went under: numbered on when another file had taken it meanwhile, or
    // when a stopped conversion would have replaced a file.
    const TFFmpeg* task = engine_.Task(taskIndex);
    if (task && task->OutputCount() > 0) model_->SetOutput(row, task->OutputFileName(0));
    // A reason in the row's tooltip and the log: a failure's, or that a source was shorter than
    // it states (done as far as it goes).
    const auto reason = [&](const std::string& english) {
        model_->SetReason(row, ReasonOf(english).text);
        AppendLog(QStringLiteral("***") + ReasonLogText(english));
    };
    if (finished) {
        ++finishedInBatch_;
        model_->SetProgress(row, 100);
        model_->SetStatus(row, status::Done());
        if (task && !task->Warning().empty()) reason(task->Warning());
    } else if (hasError) {
        model_->SetStatus(row, status::Failed());
        if (task) reason(task->ErrorMessage());
    } else if (task && task->Ran()) {
        // Stopped after it began, perhaps before its first report: its file may be kept.
        model_->SetStatus(row, status::Stopped());
    }
    // A task that never ran keeps its row as it is.
}

void TForm1::HandleTermination(const TTerminateInfo& info) {
    if (info.TaskIndex >= 0) {
        // The row already shows how the task ended (TaskEnded); the user hears of a failure.
        if (info.HasError) {
            const bool known = info.TaskIndex < static_cast<int>(taskRows_.size());
            const QString source =
                known ? model_->Row(taskRows_[static_cast<size_t>(info.TaskIndex)]).Source
                      : QString();
            Message(
                QStringLiteral("Tandrel"),
                U("文件转换失败：") + source + QLatin1Char('\n') + ReasonOf(info.ErrorMessage).text,
                MessageIcon::Warning);
        }
        emit terminationHandled(info.TaskIndex);
        return;
    }
    // The end of the batch: every task's event came before this one, and every row's last state
    // was handed over before it (applied now if it is still waiting).
    mainthread::Drain();
    if (batchStopRequested_) {
        for (int row = 0; row < model_->Count(); ++row) {
            const QString& s = model_->Row(row).Status;
            if (s == status::Converting() || s == status::Paused())
                model_->SetStatus(row, status::Stopped());
        }
    }
    try {
        engine_.ClearTasks();
    } catch (const std::exception& e) {
        AppendLog(QStringLiteral("***") + QString::fromUtf8(e.what()));
    }
    EnterIdle();
    NotifyBatchEnd();
    // Nothing to look at or to wait for when no row was converted.
    switch (finishedInBatch_ > 0 ? suiComboBox1_->currentIndex() : 0) {
        case 1: Button18Click(); break;
        case 2: Button20Click(); break;
        default: break;
    }
    emit terminationHandled(-1);
}

void TForm1::NotifyBatchEnd() {
    if (!services_.notifier || isActiveWindow()) return;
    int finished = 0, failed = 0;
    for (int row = 0; row < model_->Count(); ++row) {
        finished += model_->Row(row).Status == status::Done();
        failed += model_->Row(row).Status == status::Failed();
    }
    services_.notifier->Notify(U("全部文件转换完毕"),
                               U("完成 %1 个，失败 %2 个").arg(finished).arg(failed));
}

void TForm1::EnterIdle() {
    runState_ = RunState::Idle;
    batchPaused_ = false;
    taskRows_.clear();
    ToolButton1_->setEnabled(true);
    ToolButton5_->setEnabled(false);
    ToolButton4_->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{suiButton3_, suiComboBox4_, suiComboBox2_,
                                                      suiComboBox3_})
        w->setEnabled(true);
    UpdateListButtons();
}
