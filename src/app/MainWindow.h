// TForm1, the main window: start-up and the settings file, the job list, and running a batch.
// It owns for the whole run the engine component FFmpegVCL1, the picker TForm7, the options
// dialog TForm8 and the parts of MainWindowParts.h, and receives the log relay's lines.
//
// Threads: every member runs on the UI thread. The engine's progress events arrive there through
// the dispatcher (the worker waits). Its terminations arrive on the engine's delivery thread and
// are handed over as queued calls; they are handled one at a time at the top of the event loop,
// never inside a Stop wait, a message box or another termination (they wait in order until that
// is over). Closing the window detaches every handler first, then stops and waits for the batch.
//
// Run states: Idle → Converting ("转换") ⇄ Paused ("暂停"/"转换") → Stopping (a confirmed
// "停止") → Idle again only through the engine's end-of-batch event.
#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "app/JobSlots.h"
#include "app/MainWindowParts.h"
#include "engine/FFmpegLogger.h"
#include "engine/FFmpegVCL.h"
#include "formats/OptionsModel.h"
#include "formats/RecordBuilder.h"
#include "platform/Dialogs.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolButton;
class TForm7;
class TForm8;

namespace platform {
class INotifier;
class IShell;
class ISystemPower;
}  // namespace platform

namespace app {

class JobListModel;

// The platform services the window uses; they must outlive it.
struct Services {
    platform::IDialogs* dialogs = nullptr;
    platform::IShell* shell = nullptr;
    platform::ISystemPower* power = nullptr;
    // Told when a batch ends while the window is not the active one; none: nobody is told.
    platform::INotifier* notifier = nullptr;
};

enum class RunState { Idle, Converting, Paused, Stopping };

// Status texts of a row.
namespace status {
QString Ready();       // "准备"
QString Converting();  // "转换中..."
QString Paused();      // "暂停"
QString Stopped();     // "停止"
QString Done();        // "完成"
QString Failed();      // "失败"
}  // namespace status

// The main window's engine component: the component as it is, plus a notice of each task's end
// given on the thread that ends it, before the next pending task can start. The window passes it
// to the UI thread through the dispatcher, in order with the progress events, so a row shows
// "完成" before the next row's first progress arrives.
class MainEngine final : public TFFmpegVCL {
public:
    // Any thread; must not block (it runs inside the engine's accounting).
    using TaskEnded = std::function<void(int taskIndex, bool finished, bool hasError)>;
    explicit MainEngine(TaskEnded onTaskEnded) : onTaskEnded_(std::move(onTaskEnded)) {}

protected:
    void DoTerminate(TFFmpeg& task, bool heldSlot) override;

private:
    const TaskEnded onTaskEnded_;  // set once: read by worker threads
};

// Hands the dispatcher's queued calls (progress, log lines) to the Qt event loop of the calling
// thread, which becomes the UI thread. Call once, after the QApplication exists.
void ConnectDispatcherToEventLoop();

// "宋体", the designed font of labels and lists, drawn with the distribution's CJK serif face.
void InstallFontSubstitutes();

}  // namespace app

class TForm1 final : public QWidget, public app::IMainWindowHost {
    Q_OBJECT

public:
    // Creates the controls, the picker, the options dialog and the parts, then runs FormCreate.
    explicit TForm1(app::Services services, app::PartFactories parts = {},
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // Files named on the command line: once the window is shown and the password check has
    // passed, the paths that are not files are named in one message, and the files are added
    // like "添加多个视频文件" (one picker for all).
    void AddFilesOnShow(const QStringList& files);

    // --- State (Parts' names) ---
    formats::JobFields& Fields() { return fields_; }
    const QString& OutputFolder() const { return outputFolder_; }
    const app::JobSlots& JobSlots() const { return slots_; }
    bool BatchPaused() const { return batchPaused_; }
    bool BatchStopRequested() const { return batchStopRequested_; }
    bool ListEditing() const { return listEditing_; }
    app::RunState State() const { return runState_; }
    app::MainEngine& FFmpegVCL1() { return engine_; }
    app::JobListModel* Model() const { return model_; }
    QTableView* AdvListView1() const { return list_; }
    QPlainTextEdit* mmoLog() const { return log_; }
    TForm7* Form7() const { return picker_.get(); }
    TForm8* Form8() const { return options_.get(); }
    // The task → row map of the running batch (empty when Idle).
    const std::vector<int>& TaskRows() const { return taskRows_; }

    // --- Handlers and routines run by name ---
    void MenuItem15Click();  // "添加一个视频文件"
    void N2Click();          // "添加多个视频文件"
    void Button6Click();     // add one file
    // Add several files: from OpenDialog2, or `files` when given (the command line).
    void Button22Click(const QStringList& files = {});
    // URLs dropped on the job list (a file manager's selection): local files, and the files of
    // local folders that match the open dialog's "所有支持的文件类型" (not their subfolders),
    // added in the dropped order like "添加多个视频文件" (one picker for all). Anything else
    // (another scheme, a missing path, a folder without such files) is named in one message
    // before the picker opens.
    void AddDroppedUrls(const QList<QUrl>& urls);
    void Button7Click();   // reset the job fields
    void Button15Click();  // every slot free
    void Button16Click();  // save the output folder
    void Button17Click();  // read the output folder
    void Button18Click();  // power off
    void Button19Click();  // selectors to their start values
    void Button20Click();  // open the output folder
    void Button21Click();  // filters of the open dialogs
    // Rebuilds the engine's tasks from the rows; the rows that could not be set up.
    std::vector<int> Button14Click();
    void btnRemoveClick();
    void btnClearClick();
    void Button10Click();  // move up
    void Button11Click();  // move down
    void btnStartClick();
    void btnPauseClick();
    void btnStopClick();
    void suiButton3Click();   // "浏览..."
    void suiButton11Click();  // "打开"
    void suiButton12Click();  // "信息"
    void AdvListView1SelectItem();
    void AdvListView1Click();  // a click that leaves no row selected
    void FFmpegVCL1Progress(void* sender, PProgressInfo info);
    // A termination as the delivery thread hands it over; queued and handled in order.
    void FFmpegVCL1Terminate(void* sender, const TTerminateInfo& info);
    void FFLoggerLog(void* sender, uint32_t threadId, TLogLevel level, const std::string& msg);

    // The open dialogs' filter list (Button21Click).
    const std::vector<platform::FileFilter>& OpenFilters() const { return openFilters_; }

    // --- IMainWindowHost ---
    QWidget* Window() override { return this; }
    platform::IDialogs& Dialogs() override { return *services_.dialogs; }
    platform::IShell& Shell() override { return *services_.shell; }
    app::ISkins& Skins() override { return *skins_; }
    TCustomFFmpegVCL& Engine() override { return engine_; }
    void AppendLog(const QString& line) override;
    void ShowStatus(const QString& text) override;
    void FocusJobList() override;
    void SetStayOnTop(bool on) override;

signals:
    // After each termination (and the end of a batch) has been handled; for observers.
    void terminationHandled(int taskIndex);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Busy;  // holds back terminations while a modal wait runs
    struct Gate;

    void buildToolbar();
    void buildJobList();
    void buildSettings();
    void buildHiddenPanel();
    void FormCreate();
    void FormShow();
    void FormCloseQuery();

    // The common start of an addition: Idle, a free slot (else the user is told), the job
    // fields reset, the libraries bound.
    bool BeginAddition();
    QStringList ChooseFiles(bool several);
    bool EnsureLibraries();
    // Drag and drop on the job list: accepted while Idle; a drop adds its URLs once the drop
    // has been delivered (the picker's modal loop must not run inside it).
    bool JobListDragEvent(QEvent* event);
    // The probe, AddTask and SetOutputFile for the current job fields; the failure's message
    // (empty on success, then the row and its slot are added).
    QString AddCurrentFile(formats::AddMode mode);
    void EnableAfterAddition();
    void ReportFailures(const QStringList& failures);
    // `items` joined by `separator`, at most kListedInMessage of them, then a line that says how
    // many more there are: a message box stays within the screen whatever the batch.
    static constexpr int kListedInMessage = 10;
    static QString Listed(const QStringList& items, const QString& separator);
    formats::OverwritePolicy Policy() const;
    int SelectedRow() const;
    void SelectRow(int row);
    void MoveSelected(int delta);
    // "上移", "下移", "移除", "清空", "信息" and the toolbar's "移除", "清空", "转换" enabled
    // exactly when they can act: Idle (but "信息"), a row selected with a neighbour that way, any
    // row at all. The empty list's hint shows while there is no row.
    void UpdateListButtons();
    void EnterIdle();
    void ProcessTerminations();
    void HandleTermination(const TTerminateInfo& info);
    // Tells the desktop how many rows finished and failed, when the batch ended while the user
    // was in another window.
    void NotifyBatchEnd();
    // A task's row shows how it ended (in order with the progress events).
    void TaskEnded(int taskIndex, bool finished, bool hasError);
    void Message(const QString& caption, const QString& text, platform::MessageIcon icon);
    // The log's lines for a file that cannot be added or set up: blank, the heading with the
    // reason (ReasonLogText), blank.
    void LogFailure(const char* heading, const std::string& reason);
    // Names the paths that are not files and adds the files (the command line's files).
    void AddFiles(const QStringList& paths);

    app::Services services_;
    std::shared_ptr<Gate> gate_;
    // The engine before the rest: destroyed after everything its events could reach.
    app::MainEngine engine_;

    formats::JobFields fields_;
    QString outputFolder_;
    app::JobSlots slots_;
    bool batchPaused_ = false;
    bool batchStopRequested_ = false;
    bool listEditing_ = false;
    app::RunState runState_ = app::RunState::Idle;
    std::vector<int> taskRows_;
    int finishedInBatch_ = 0;  // rows of the running batch that finished
    std::deque<TTerminateInfo> pendingTerminations_;
    int busy_ = 0;
    int inProgressEvent_ = 0;  // a worker waits for the progress event being handled
    bool shown_ = false;
    bool closing_ = false;
    QStringList filesOnShow_;
    std::vector<platform::FileFilter> openFilters_;

    // Toolbar.
    QToolButton* ToolButton1_ = nullptr;   // "       添加      "
    QToolButton* ToolButton12_ = nullptr;  // "移除"
    QToolButton* ToolButton2_ = nullptr;   // "清空"
    QToolButton* ToolButton3_ = nullptr;   // "转换"
    QToolButton* ToolButton5_ = nullptr;   // "暂停"
    QToolButton* ToolButton4_ = nullptr;   // "停止"
    QToolButton* ToolButton7_ = nullptr;   // "皮肤"
    QToolButton* ToolButton11_ = nullptr;  // "帮助"
    QMenu* addMenu_ = nullptr;
    QMenu* skinMenu_ = nullptr;  // suiPopupMenu1
    QMenu* helpMenu_ = nullptr;  // suiPopupMenu2
    QStatusBar* statusBar_ = nullptr;

    // Job list.
    QGroupBox* listGroup_ = nullptr;  // suiRadioGroup1
    QTableView* list_ = nullptr;      // AdvListView1
    app::JobListModel* model_ = nullptr;
    QPushButton* upButton_ = nullptr;      // "上移"
    QPushButton* downButton_ = nullptr;    // "下移"
    QPushButton* removeButton_ = nullptr;  // "移除"
    QPushButton* clearButton_ = nullptr;   // "清空"
    QPushButton* infoButton_ = nullptr;    // "信息"
    QWidget* emptyHint_ = nullptr;         // over the empty list: how to add files

    // Settings group.
    QLineEdit* suiEdit1_ = nullptr;
    QPushButton* suiButton3_ = nullptr;   // "浏览..."
    QPushButton* suiButton11_ = nullptr;  // "打开"
    QComboBox* suiComboBox4_ = nullptr;   // overwrite policy
    QComboBox* suiComboBox1_ = nullptr;   // after all done
    QComboBox* suiComboBox2_ = nullptr;   // hidden: worker priority
    QComboBox* suiComboBox3_ = nullptr;   // hidden: files at once

    // Hidden developer panel.
    QWidget* Panel1_ = nullptr;
    QPlainTextEdit* log_ = nullptr;  // mmoLog
    QCheckBox* chkThreadMode_ = nullptr;
    QCheckBox* chkPreview_ = nullptr;

    // Windows and parts, in creation order (destroyed in reverse).
    std::unique_ptr<app::ISkins> skins_;
    std::unique_ptr<app::IHelpActions> help_;
    std::unique_ptr<app::IPasswordCheck> password_;
    std::unique_ptr<TForm8> options_;
    std::unique_ptr<TForm7> picker_;
    std::unique_ptr<app::IInformationWindow> information_;
    std::unique_ptr<app::IPlayerPanel> player_;
};
