// TForm1: the frame, start-up, the settings file, closing, and the services offered to parts.
#include "app/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "app/JobListModel.h"
#include "app/Previewer.h"
#include "engine/OutputFiles.h"
#include "engine/MainThread.h"
#include "formats/EngineDurationReader.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"
#include "platform/Shell.h"
#include "platform/SystemPower.h"

using platform::AppPaths::DefaultOutputFolder;

namespace app {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The designed font of the labels, lists and selectors: 宋体 at 9 points.
QFont SongTi() { return QFont(U("宋体"), 9); }

// A toolbar picture of 56 × 56 by its index in the image list (0 add, 1 remove, 2 clear,
// 3 start, 4 stop, 5 pause, 7 skin, 9 help); Qt greys it for the disabled state.
QIcon ToolbarImage(int index) {
    struct Look {
        QRgb colour;
        const char* glyph;
    };
    static const Look kLooks[] = {
        {0x2e7d32, "+"}, {0xc62828, "−"}, {0x6d4c41, "×"}, {0x1565c0, "▶"},
        {0x424242, "■"}, {0xef6c00, "❚❚"}, {0x546e7a, "?"}, {0x6a1b9a, "◐"},
        {0x00838f, "i"}, {0x283593, "?"}, {0x9e9d24, "…"}};
    const Look& look = kLooks[index];
    QPixmap pixmap(56, 56);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(look.colour));
    painter.drawEllipse(QRectF(4, 4, 48, 48));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(26);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(4, 4, 48, 48), Qt::AlignCenter, QString::fromUtf8(look.glyph));
    return QIcon(pixmap);
}

// A toolbar button whose caption keeps its designed blanks (they are part of its name, so screen
// readers and tests find it by it) but is drawn without them, so that the style does not cut the
// text short in the 70-pixel button.
class ToolbarButton final : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.text = option.text.trimmed();
        painter.drawComplexControl(QStyle::CC_ToolButton, option);
    }
};

QLabel* MakeLabel(QWidget* parent, const char* text, int left, int top) {
    auto* label = new QLabel(U(text), parent);
    label->setFont(SongTi());
    label->adjustSize();
    label->move(left, top);
    return label;
}

QComboBox* MakeSelector(QWidget* parent, const char* name, const QString& label,
                        const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setAccessibleName(label);
    combo->setFont(SongTi());
    combo->addItems(items);
    return combo;
}

}  // namespace

namespace status {
QString Ready() { return U("准备"); }
QString Converting() { return U("转换中..."); }
QString Paused() { return U("暂停"); }
QString Stopped() { return U("停止"); }
QString Done() { return U("完成"); }
QString Failed() { return U("失败"); }
}  // namespace status

void MainEngine::DoTerminate(TFFmpeg& task, bool heldSlot) {
    // The list does not change while a batch runs: its position is the task's index.
    int index = -1;
    for (int i = 0; i < TaskCount() && index < 0; ++i)
        if (Task(i) == &task) index = i;
    onTaskEnded_(index, task.Finished(), task.HasError());
    TFFmpegVCL::DoTerminate(task, heldSlot);
}

void ConnectDispatcherToEventLoop() {
    mainthread::SetUiThread();
    QObject* context = QCoreApplication::instance();
    mainthread::SetWakeup([context] {
        QMetaObject::invokeMethod(context, [] { mainthread::Drain(); }, Qt::QueuedConnection);
    });
}

void InstallFontSubstitutes() {
    QFont::insertSubstitutions(U("宋体"), {QStringLiteral("Noto Serif CJK SC"),
                                         QStringLiteral("Noto Sans CJK SC")});
}

}  // namespace app

using namespace app;

// The handlers the engine and the logger call hold this, not the window: closing clears it, so
// no delivery thread can reach a window that is going away.
struct TForm1::Gate {
    // Set at construction and cleared by FormCloseQuery; written and read on the UI thread only
    // (the delivery threads hand their calls to it through the main-thread dispatcher).
    TForm1* form = nullptr;
};

TForm1::TForm1(Services services, PartFactories parts, QWidget* parent)
    : QWidget(parent),
      services_(services),
      gate_(std::make_shared<Gate>()),
      engine_([gate = gate_](int task, bool finished, bool hasError) {
          mainthread::Post([gate, task, finished, hasError] {
              if (TForm1* form = gate->form) form->TaskEnded(task, finished, hasError);
          });
      }) {
    gate_->form = this;
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(851, 588);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, true);

    // The band where the skinned title bar is drawn.
    auto* band = new QLabel(QStringLiteral("  Tandrel"), this);
    band->setObjectName(QStringLiteral("TitleBand"));
    band->setGeometry(0, 0, 851, 29);
    // Its designed look sits in the window's sheet, which a skin replaces (with its own band).
    setStyleSheet(QStringLiteral(
        "QLabel#TitleBand { background:#dfe6ee; color:#234; font-weight:bold; }"));

    buildToolbar();
    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::HLine | QFrame::Raised);
    bevel->setGeometry(15, 136, 818, 2);
    buildJobList();
    buildSettings();
    buildHiddenPanel();
    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("suiStatusBar1"));
    statusBar_->setAccessibleName(U("状态栏"));
    statusBar_->setSizeGripEnabled(false);
    statusBar_->setGeometry(0, 588 - 19, 851, 19);

    engine_.SetOnProgress([gate = gate_](void* sender, PProgressInfo info) {
        // On the UI thread (the worker waits): the gate cannot close meanwhile.
        if (TForm1* form = gate->form) form->FFmpegVCL1Progress(sender, info);
    });
    engine_.SetOnTerminate([gate = gate_](void* sender, const TTerminateInfo& info) {
        // On a delivery thread: queued behind the task's end, which the engine posts first. The
        // dispatcher may run inside a wait, so the handler itself goes on to the event loop.
        mainthread::Post([gate, sender, info] {
            if (TForm1* form = gate->form)
                QMetaObject::invokeMethod(
                    form, [form, sender, info] { form->FFmpegVCL1Terminate(sender, info); },
                    Qt::QueuedConnection);
        });
    });
    InstallPreviewer(engine_);  // the windows of "Preview" (chkPreview), when it is ticked
    GetLogger()->SetOnLog([gate = gate_](void* sender, uint32_t id, TLogLevel level,
                                         const std::string& msg) {
        // Posted to the UI thread by the logger.
        if (TForm1* form = gate->form) form->FFLoggerLog(sender, id, level, msg);
    });

    // The other windows and parts, in their creation order.
    skins_ = parts.skins(*this);
    help_ = parts.help(*this);
    password_ = parts.password(*this);
    options_ = std::make_unique<TForm8>(&fields_, services_.dialogs, services_.shell,
                                        formats::MakeEngineDurationReader(), this);
    picker_ = std::make_unique<TForm7>(&fields_, options_.get(), services_.dialogs, this);
    information_ = parts.information(*this);
    player_ = parts.player(*this);
    player_->Widget()->setGeometry(16, 144, 329, 289);
    skins_->FillSkinMenu(skinMenu_, this);

    FormCreate();
}

TForm1::~TForm1() {
    if (!closing_) FormCloseQuery();
}

void TForm1::buildToolbar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("suiToolBar1"));
    bar->setGeometry(0, 29, 851, 100);
    // Every toolbar action has a key (listed in the help's "快捷键"): a plain button's is its
    // own shortcut; the three menu buttons' keys are the window's actions below.
    struct Spec {
        QToolButton** button;
        const char* name;
        const char* caption;
        int image;
        const char* hint;
        int gapAfter;
        QKeySequence key;
    };
    const Spec specs[] = {
        {&ToolButton1_, "ToolButton1", "       添加      ", 0, "添加要转换的视频音频文件", 0,
         QKeySequence(Qt::CTRL | Qt::Key_O)},
        {&ToolButton12_, "ToolButton12", "移除", 1, "从列表中删除选中的文件", 0,
         QKeySequence(Qt::Key_Delete)},
        {&ToolButton2_, "ToolButton2", "清空", 2, "清空转换列表", 11,
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)},
        {&ToolButton3_, "ToolButton3", "转换", 3, "开始转换视频", 0, QKeySequence(Qt::Key_F5)},
        {&ToolButton5_, "ToolButton5", "暂停", 5, "暂停视频转换", 0, QKeySequence(Qt::Key_F6)},
        {&ToolButton4_, "ToolButton4", "停止", 4, "停止视频转换", 8, QKeySequence(Qt::Key_F7)},
        {&ToolButton7_, "ToolButton7", "皮肤", 7, "更换软件外观皮肤", 0, QKeySequence(Qt::Key_F8)},
        {&ToolButton11_, "ToolButton11", "帮助", 9, "软件帮助", 0, QKeySequence(Qt::Key_F1)},
    };
    int x = 8;
    for (const Spec& s : specs) {
        auto* b = new ToolbarButton(bar);
        b->setObjectName(QString::fromLatin1(s.name));
        b->setText(U(s.caption));
        b->setAccessibleName(U(s.caption));
        b->setProperty("hint", U(s.hint));
        b->setToolTip(U(s.hint) + QStringLiteral(" (") + s.key.toString(QKeySequence::NativeText) +
                      QLatin1Char(')'));
        if (s.button != &ToolButton1_ && s.button != &ToolButton7_ && s.button != &ToolButton11_)
            b->setShortcut(s.key);
        b->setIcon(ToolbarImage(s.image));
        b->setIconSize(QSize(56, 56));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        b->setGeometry(x, 12, 70, 76);
        b->installEventFilter(this);
        x += 70 + s.gapAfter;
        *s.button = b;
    }

    addMenu_ = new QMenu(this);
    addMenu_->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* addOne = addMenu_->addAction(U("添加一个视频文件"), this, [this] {
        if (ToolButton1_->isEnabled()) MenuItem15Click();
    });
    addOne->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    QAction* addSeveral = addMenu_->addAction(U("添加多个视频文件"), this, [this] {
        if (ToolButton1_->isEnabled()) N2Click();
    });
    addSeveral->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    // The keys work while the menu is closed.
    addActions({addOne, addSeveral});
    ToolButton1_->setMenu(addMenu_);
    ToolButton1_->setPopupMode(QToolButton::InstantPopup);

    skinMenu_ = new QMenu(this);
    skinMenu_->setObjectName(QStringLiteral("suiPopupMenu1"));
    ToolButton7_->setMenu(skinMenu_);
    ToolButton7_->setPopupMode(QToolButton::InstantPopup);
    auto* skinKey = new QAction(this);
    skinKey->setShortcut(QKeySequence(Qt::Key_F8));
    connect(skinKey, &QAction::triggered, this, [this] { ToolButton7_->showMenu(); });
    addAction(skinKey);

    helpMenu_ = new QMenu(this);
    helpMenu_->setObjectName(QStringLiteral("suiPopupMenu2"));
    QAction* help = helpMenu_->addAction(U("帮助系统?"), this, [this] { help_->OpenHelp(); });
    help->setShortcut(QKeySequence(Qt::Key_F1));
    addAction(help);  // F1 works while the menu is closed
    helpMenu_->addAction(U("网上升级..."), this, [this] { help_->ShowUpdateDialog(); });
    helpMenu_->addSeparator();
    helpMenu_->addAction(U("软件网站"), this, [this] { help_->OpenWebSite(); });
    helpMenu_->addAction(U("作者联系信箱"), this, [this] { help_->OpenMailAddress(); });
    helpMenu_->addSeparator();
    helpMenu_->addAction(U("关于软件"), this, [this] { help_->ShowAbout(); });
    ToolButton11_->setMenu(helpMenu_);
    ToolButton11_->setPopupMode(QToolButton::InstantPopup);

    connect(ToolButton12_, &QToolButton::clicked, this, [this] { btnRemoveClick(); });
    connect(ToolButton2_, &QToolButton::clicked, this, [this] { btnClearClick(); });
    connect(ToolButton3_, &QToolButton::clicked, this, [this] { btnStartClick(); });
    connect(ToolButton5_, &QToolButton::clicked, this, [this] { btnPauseClick(); });
    connect(ToolButton4_, &QToolButton::clicked, this, [this] { btnStopClick(); });
}

void TForm1::buildJobList() {
    listGroup_ = new QGroupBox(this);
    listGroup_->setObjectName(QStringLiteral("suiRadioGroup1"));
    listGroup_->setAccessibleName(U("转换列表"));
    listGroup_->setGeometry(352, 144, 481, 289);

    model_ = new JobListModel(this);
    list_ = new QTableView(listGroup_);
    list_->setObjectName(QStringLiteral("AdvListView1"));
    list_->setAccessibleName(U("转换列表"));
    list_->setModel(model_);
    list_->setGeometry(8, 16, 465, 217);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->setTextElideMode(Qt::ElideLeft);  // the end of a path tells most
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(20);
    // Every column fits: the source column takes what the others leave (its cell shows the end
    // of the path, the tooltip all of it), and nothing scrolls sideways.
    QHeaderView* header = list_->horizontalHeader();
    header->setFont(SongTi());
    header->setHighlightSections(false);
    header->setMinimumSectionSize(24);
    for (int c = 0; c < kColumnCount; ++c) {
        header->setSectionResizeMode(c, QHeaderView::Fixed);
        list_->setColumnWidth(c, JobListModel::Width(c));
    }
    header->setSectionResizeMode(kColSource, QHeaderView::Stretch);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setItemDelegateForColumn(kColProgress, new ProgressDelegate(list_));
    list_->viewport()->installEventFilter(this);
    list_->viewport()->setAcceptDrops(true);  // files from a file manager (JobListDragEvent)
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { AdvListView1SelectItem(); });
    auto* hint = new QLabel(U("列表中还没有文件。\n"
                              "请点击“添加”按钮选择要转换的文件，或者把文件拖放到这里。"),
                            list_->viewport());
    hint->setObjectName(QStringLiteral("EmptyListHint"));
    hint->setAccessibleName(hint->text());
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignCenter);
    hint->setMargin(16);
    hint->setAttribute(Qt::WA_TransparentForMouseEvents);  // clicks and drops reach the list
    hint->setGeometry(list_->viewport()->rect());
    emptyHint_ = hint;
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, this, [this] { UpdateListButtons(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { UpdateListButtons(); });
    connect(list_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) suiButton12Click();
    });

    struct Spec {
        QPushButton** button;
        const char* name;
        const char* caption;
        int left, width;
    };
    const Spec specs[] = {
        {&upButton_, "Button10", "上移", 13, 65},  {&downButton_, "Button11", "下移", 108, 65},
        {&removeButton_, "suiButton6", "移除", 197, 65},
        {&clearButton_, "suiButton7", "清空", 284, 65},
        {&infoButton_, "suiButton12", "信息", 381, 68},
    };
    for (const Spec& s : specs) {
        auto* b = new QPushButton(U(s.caption), listGroup_);
        b->setObjectName(QString::fromLatin1(s.name));
        b->setAccessibleName(U(s.caption));
        b->setGeometry(s.left, 248, s.width, 30);
        *s.button = b;
    }
    connect(upButton_, &QPushButton::clicked, this, [this] { Button10Click(); });
    connect(downButton_, &QPushButton::clicked, this, [this] { Button11Click(); });
    connect(removeButton_, &QPushButton::clicked, this, [this] { btnRemoveClick(); });
    connect(clearButton_, &QPushButton::clicked, this, [this] { btnClearClick(); });
    connect(infoButton_, &QPushButton::clicked, this, [this] { suiButton12Click(); });
}

void TForm1::buildSettings() {
    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("suiRadioGroup2"));
    group->setAccessibleName(U("设置"));
    group->setGeometry(16, 440, 817, 105);

    MakeLabel(group, "输出文件存放目录：", 16, 32);
    suiEdit1_ = new QLineEdit(group);
    suiEdit1_->setObjectName(QStringLiteral("suiEdit1"));
    suiEdit1_->setAccessibleName(U("输出文件存放目录："));
    suiEdit1_->setReadOnly(true);
    suiEdit1_->setFont(SongTi());
    suiEdit1_->setGeometry(128, 28, 481, 19);
    suiButton3_ = new QPushButton(U("浏览..."), group);
    suiButton3_->setObjectName(QStringLiteral("suiButton3"));
    suiButton3_->setAccessibleName(U("浏览..."));
    suiButton3_->setFont(SongTi());
    suiButton3_->setGeometry(628, 25, 69, 25);
    suiButton11_ = new QPushButton(U("打开"), group);
    suiButton11_->setObjectName(QStringLiteral("suiButton11"));
    suiButton11_->setAccessibleName(U("打开"));
    suiButton11_->setFont(SongTi());
    suiButton11_->setGeometry(708, 25, 61, 25);
    connect(suiButton3_, &QPushButton::clicked, this, [this] { suiButton3Click(); });
    connect(suiButton11_, &QPushButton::clicked, this, [this] { suiButton11Click(); });

    MakeLabel(group, "如果输出文件存在：", 16, 65);
    suiComboBox4_ = MakeSelector(group, "suiComboBox4", U("如果输出文件存在："),
                                 {U("自动生成相应的新文件名"), U("直接覆盖该文件")});
    suiComboBox4_->setGeometry(128, 59, 257, 22);
    MakeLabel(group, "全部文件转换完毕后：", 400, 63);
    suiComboBox1_ =
        MakeSelector(group, "suiComboBox1", U("全部文件转换完毕后："),
                     {U("无任何操作"), U("直接关闭计算机"), U("打开文件夹查看转换的文件")});
    suiComboBox1_->setGeometry(528, 61, 241, 22);

    // Never shown: they keep their start values, which a batch reads.
    QLabel* priorityLabel = MakeLabel(group, "CPU占用率修改项目：", 16, 120);
    suiComboBox2_ = MakeSelector(group, "suiComboBox2", priorityLabel->text(),
                                 {U("闲置时进行"), U("CPU占用最低"), U("CPU占用一般"),
                                  U("正常转换")});
    QLabel* countLabel = MakeLabel(group, "同时进行转换的文件个数：", 400, 120);
    QStringList counts;
    for (int i = 1; i <= 10; ++i) counts << QString::number(i) + U("个文件");
    suiComboBox3_ = MakeSelector(group, "suiComboBox3", countLabel->text(), counts);
    for (QWidget* hidden :
         std::initializer_list<QWidget*>{priorityLabel, suiComboBox2_, countLabel, suiComboBox3_})
        hidden->hide();
}

void TForm1::buildHiddenPanel() {
    Panel1_ = new QWidget(this);
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->hide();
    log_ = new QPlainTextEdit(Panel1_);
    log_->setObjectName(QStringLiteral("mmoLog"));
    log_->setAccessibleName(QStringLiteral("mmoLog"));
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(20000);  // never shown: keep it from growing without end
    chkThreadMode_ = new QCheckBox(QStringLiteral("Thread Mode"), Panel1_);
    chkThreadMode_->setObjectName(QStringLiteral("chkThreadMode"));
    chkThreadMode_->setChecked(true);
    chkPreview_ = new QCheckBox(QStringLiteral("Preview"), Panel1_);
    chkPreview_->setObjectName(QStringLiteral("chkPreview"));
    chkPreview_->setChecked(false);
}

void TForm1::FormCreate() {
    setWindowTitle(QStringLiteral("Tandrel"));
    skins_->ApplySaved(this);  // Button1Click
    fields_.OutputFile.clear();
    batchPaused_ = false;
    Button15Click();
    Button17Click();
    Button19Click();
    Button21Click();
    player_->ReadSnapshotFormat();  // Button55Click
    listEditing_ = false;

    // Start-up state: only "添加", "皮肤" and "帮助" usable on the toolbar.
    for (QToolButton* b : {ToolButton5_, ToolButton4_}) b->setEnabled(false);
    UpdateListButtons();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // Centre on the desktop the first time.
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    // After the window is on screen: the password window and the files of the command line
    // are modal steps of their own.
    QTimer::singleShot(0, this, [this] { FormShow(); });
}

void TForm1::FormShow() {
    if (closing_) return;
    if (!password_->CheckAtStart(this)) {
        close();
        return;
    }
    if (!filesOnShow_.isEmpty() && !closing_) {
        AddFiles(std::exchange(filesOnShow_, {}));
    }
}

void TForm1::AddFilesOnShow(const QStringList& files) { filesOnShow_ = files; }

void TForm1::closeEvent(QCloseEvent* event) {
    if (inProgressEvent_ > 0 && !closing_) {
        // A progress event's worker waits for it: stopping here would wait for that worker.
        // The close happens as soon as the event has returned.
        event->ignore();
        QTimer::singleShot(0, this, [this] { close(); });
        return;
    }
    if (!closing_) FormCloseQuery();
    event->accept();  // never refused
}

void TForm1::FormCloseQuery() {
    closing_ = true;
    player_->DetachHandlers();
    gate_->form = nullptr;
    engine_.SetOnCustomHook(nullptr);
    engine_.SetOnProgress(nullptr);
    engine_.SetOnTerminate(nullptr);
    pendingTerminations_.clear();
    ++busy_;
    engine_.Stop(true);
    engine_.Resume();
    --busy_;
    if (TFFLogger* logger = CurrentLogger()) logger->SetOnLog(nullptr);
}

// --- Settings file ---

void TForm1::Button17Click() {
    platform::IniFile ini(platform::AppPaths::SettingsFile());
    const QString stored = ini.Exists()
                               ? ini.ReadString(QStringLiteral("OutPath"),
                                                QStringLiteral("OutPath"), QStringLiteral("Error"))
                               : QStringLiteral("Error");
    if (platform::AppPaths::IsUsableStoredFolder(stored) && QDir().mkpath(stored)) {
        suiEdit1_->setText(stored);
        outputFolder_ = stored;
        RemoveLeftoverOutputs(outputFolder_);  // what a killed run left there
        return;
    }
    // Missing, empty, "Error", another system's path, or a folder that cannot be made: the
    // default folder, written back.
    const QString folder = DefaultOutputFolder();
    if (!QDir().mkpath(folder))
        AppendLog(U("***无法创建输出文件夹: ") + folder);
    if (!ini.WriteString(QStringLiteral("OutPath"), QStringLiteral("OutPath"), folder))
        AppendLog(U("***无法写入设置文件: ") + ini.Path());
    suiEdit1_->setText(folder);
    outputFolder_ = folder;
    RemoveLeftoverOutputs(outputFolder_);
}

void TForm1::Button16Click() {
    if (outputFolder_.isEmpty() || !QFileInfo(outputFolder_).isDir()) return;
    platform::IniFile ini(platform::AppPaths::SettingsFile());
    if (!ini.WriteString(QStringLiteral("OutPath"), QStringLiteral("OutPath"), outputFolder_))
        AppendLog(U("***无法写入设置文件: ") + ini.Path());
}

void TForm1::Button19Click() {
    suiComboBox1_->setCurrentIndex(2);
    suiComboBox2_->setCurrentIndex(3);
    suiComboBox3_->setCurrentIndex(0);
}

void TForm1::Button20Click() { services_.shell->OpenPath(suiEdit1_->text()); }

void TForm1::suiButton3Click() {
    const QString folder =
        services_.dialogs->BrowseFolder(this, U("选择输出文件存放目录"), QString());
    if (folder.isEmpty() || closing_) return;
    suiEdit1_->setText(folder);
    outputFolder_ = folder;
    Button16Click();
}

void TForm1::suiButton11Click() { Button20Click(); }

void TForm1::Button18Click() {
    // There is no shut-down privilege to switch on or off here; the request alone decides.
    if (!services_.power->PowerOff())
        AppendLog(U("***无法关闭计算机: ") + services_.power->LastError());
}

// --- Services for the parts ---

void TForm1::AppendLog(const QString& line) { log_->appendPlainText(line); }

void TForm1::ShowStatus(const QString& text) { statusBar_->showMessage(text); }

void TForm1::FocusJobList() { list_->setFocus(Qt::OtherFocusReason); }

void TForm1::SetStayOnTop(bool on) {
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
    const QRect frame = geometry();
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    setGeometry(frame);
    if (visible) show();  // changing the flags hides a window
}

void TForm1::FFLoggerLog(void*, uint32_t threadId, TLogLevel level, const std::string& msg) {
    AppendLog(QLatin1Char('#') + QString::number(threadId) + QLatin1Char('.') +
              QString::number(static_cast<int>(level)) + QStringLiteral(": ") +
              QString::fromStdString(msg));
}

void TForm1::Message(const QString& caption, const QString& text, platform::MessageIcon icon) {
    services_.dialogs->ShowMessage(this, caption, text, icon, platform::MessageButton::Ok);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter) {
        const QVariant hint = watched->property("hint");
        if (hint.isValid()) statusBar_->showMessage(hint.toString());
    }
    if (list_ && watched == list_->viewport() && event->type() == QEvent::Resize)
        emptyHint_->setGeometry(list_->viewport()->rect());
    if (list_ && watched == list_->viewport() && JobListDragEvent(event)) return true;
    if (list_ && watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!list_->indexAt(mouse->position().toPoint()).isValid()) {
            // A click on empty space deselects, which still enables "移除" (see
            // AdvListView1SelectItem), and stops the player.
            list_->clearSelection();
            AdvListView1Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
