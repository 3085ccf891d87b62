// TForm1: the job list — adding files, removing, clearing, moving, selecting.
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "app/JobListModel.h"
#include "app/MainWindow.h"
#include "app/Reasons.h"
#include "formats/OptionsDialog.h"
#include "formats/PickerDialog.h"
#include "formats/RecordBuilder.h"
#include "platform/AppPaths.h"

using namespace app;
using platform::MessageIcon;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const char* kNotice = "提示";

// Both letter cases of every pattern are offered by the dialog service itself.
std::vector<platform::FileFilter> MakeOpenFilters() {
    const char* const kAll =
        "*.AVI;*.ASF;*.asx;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;"
        "*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.SWF;"
        "*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;*.AC3;"
        "*.DTS;*.DV;*.m4v;*.3g2;*.mkv;*.dv;*.yuv;*.h261;*.h264;*.mjpeg;*.dif;*.m4v;*.3gpp;"
        "*.3gp2;*.qt";
    const std::pair<const char*, const char*> kEntries[] = {
        {"所有支持的文件类型", kAll},
        {"所有的文件 (*.*)", "*.*"},
        {"AVI文件 (*.avi)", "*.avi"},
        {"MPEG文件 (*.mpg;*.mpeg)", "*.mpg;*.mpeg"},
        {"Windows Media文件 (*.wmv;*.asf;*.asx)", "*.wmv;*.asf;*.asx"},
        {"Dat文件 (*.dat)", "*.dat"},
        {"DVD光盘VOB文件 (*.vob)", "*.vob"},
        {"Real类型文件 (*.rm;*.rmvb)", "*.rm;*.rmvb"},
        {"MP4类型文件 (*.mp4;*.m4v)", "*.mp4;*.m4v"},
        {"手机3GP文件 (*.3gp;*.3gpp)", "*.3gp;*.3gpp"},
        {"手机3GPP2文件 (*.3g2;*.3gp2)", "*.3g2;*.3gp2"},
        {"Flash文件 (*.swf)", "*.swf"},
        {"Quick Time文件 (*.mov;*.qt)", "*.mov;*.qt"},
        {"FLV类型文件 (*.flv)", "*.flv"},
        {"Raw视频文件 (*.yuv)", "*.yuv"},
        {"Raw h261类型文件 (*.h261)", "*.h261"},
        {"Raw h264类型文件 (*.h264)", "*.h264"},
        {"MJPEG类型文件 (*.mjpeg)", "*.mjpeg"},
        {"MKV视频文件 (*.mkv)", "*.mkv"},
        {"DV视频文件 (*.dv;*.dif)", "*.dv;*.dif"},
    };
    std::vector<platform::FileFilter> filters;
    for (const auto& [description, patterns] : kEntries)
        filters.push_back({U(description), U(patterns).split(QLatin1Char(';'), Qt::SkipEmptyParts)});
    return filters;
}

QString NoFreeSlotText() {
    return U("转换列表已满（清空列表前最多可添加") + QString::number(JobSlots::kCount) +
           U("个文件），请先清空列表再添加！");
}

}  // namespace

void TForm1::Button21Click() { openFilters_ = MakeOpenFilters(); }

void TForm1::Button15Click() { slots_.FreeAll(); }

void TForm1::Button7Click() {
    // The player's handlers stay: the panel attaches them whenever it opens a file, and an
    // addition that is cancelled must not leave the open file's seek bar standing still.
    fields_.ResetOptions();
}

formats::OverwritePolicy TForm1::Policy() const {
    return suiComboBox4_->currentIndex() == 1 ? formats::OverwritePolicy::Overwrite
                                              : formats::OverwritePolicy::NewName;
}

int TForm1::SelectedRow() const {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TForm1::SelectRow(int row) {
    list_->selectionModel()->setCurrentIndex(
        model_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(model_->index(row, 0));
}

void TForm1::UpdateListButtons() {
    const bool idle = runState_ == RunState::Idle && !closing_;
    const int rows = model_->Count();
    const int row = SelectedRow();
    upButton_->setEnabled(idle && row > 0);
    downButton_->setEnabled(idle && row >= 0 && row < rows - 1);
    for (QAbstractButton* remove : {static_cast<QAbstractButton*>(removeButton_),
                                    static_cast<QAbstractButton*>(ToolButton12_)})
        remove->setEnabled(idle && row >= 0);
    for (QAbstractButton* clear :
         {static_cast<QAbstractButton*>(clearButton_), static_cast<QAbstractButton*>(ToolButton2_)})
        clear->setEnabled(idle && rows > 0);
    // While paused, "转换" resumes.
    ToolButton3_->setEnabled(runState_ == RunState::Paused || (idle && rows > 0));
    infoButton_->setEnabled(row >= 0);
    emptyHint_->setVisible(rows == 0);
}

bool TForm1::EnsureLibraries() {
    if (engine_.LibrariesLoaded()) return true;
    if (engine_.LoadLibraries(platform::AppPaths::LibAVDir())) return true;
    const std::string reason = engine_.LastErrorMessage();
    AppendLog(ReasonLogText(reason));
    Message(U(kNotice), U("无法装入音频视频库，不能添加文件！\n") + ReasonOf(reason).text,
            MessageIcon::Information);
    return false;
}

void TForm1::MenuItem15Click() {
    options_->PrepareForAddition(true, outputFolder_);
    Button6Click();
}

void TForm1::N2Click() {
    options_->PrepareForAddition(false, outputFolder_);
    Button22Click();
}

QString TForm1::AddCurrentFile(formats::AddMode mode) {
    const QString source = fields_.SourceFile;
    const TInputOptions input = formats::BuildInputRecord(fields_, mode);

    // A failure: the log's lines, and the message's paragraph (heading, file, reason).
    const auto failed = [this, &source](const char* logHeading, const char* heading,
                                        const std::string& reason) {
        LogFailure(logHeading, reason);
        return U(heading) + source + QLatin1Char('\n') + ReasonOf(reason).text;
    };

    TAVProbe& probe = engine_.Probe();
    const bool readable = probe.LoadFile(source, std::string());
    const std::string probeError = probe.LastErrorMessage();
    probe.Close();  // the row keeps its task's own open input, not the probe's
    if (!readable) return failed("***文件打开失败 ", "无法识别的音频或视频文件！", probeError);

    const int task = engine_.AddTask(source, &input);
    if (task < 0) return failed("***打开文件失败: ", "打开文件失败！", engine_.LastErrorMessage());

    // Numbered against the disk (when not overwriting) and every row already listed: the file
    // itself is only made when the batch runs.
    const formats::OverwritePolicy policy = Policy();
    const QString candidate = formats::CandidateOutputName(fields_, mode, outputFolder_);
    QSet<QString> rowOutputs;
    for (int row = 0; row < model_->Count(); ++row)
        rowOutputs.insert(slots_[row].OutputOptions.FileName);
    const QString output = formats::NumberedName(candidate, [&](const QString& path) {
        return rowOutputs.contains(path) ||
               (policy == formats::OverwritePolicy::NewName && QFileInfo::exists(path));
    });
    fields_.OutputFile = output;
    const TOutputOptions record = formats::BuildOutputRecord(fields_, mode, output);
    if (!engine_.SetOutputFile(task, output, &record)) {
        const std::string reason = engine_.LastErrorMessage();
        engine_.RemoveTask(task);
        return failed("***不能进行正常转换: ", "不能进行正常转换！", reason);
    }

    JobRow row;
    row.Source = source;
    row.SourceType = TypeText(source);
    row.TargetType = TypeText(output);
    row.Time = QStringLiteral("0");
    row.Progress = 0;
    row.Status = status::Ready();
    row.Output = output;
    slots_.Add(input, record);
    model_->Append(row);
    AppendLog(QString());
    AppendLog(U("装入成功."));
    AppendLog(QString());
    return {};
}

void TForm1::LogFailure(const char* heading, const std::string& reason) {
    AppendLog(QString());
    AppendLog(U(heading) + ReasonLogText(reason));
    AppendLog(QString());
}

void TForm1::EnableAfterAddition() {
    UpdateListButtons();
    suiButton3_->setEnabled(true);
    suiComboBox4_->setEnabled(true);
}

QString TForm1::Listed(const QStringList& items, const QString& separator) {
    if (items.size() <= kListedInMessage) return items.join(separator);
    return items.mid(0, kListedInMessage).join(separator) + separator + U("……另有 ") +
           QString::number(items.size() - kListedInMessage) + U(" 项未列出");
}

void TForm1::ReportFailures(const QStringList& failures) {
    if (!failures.isEmpty() && !closing_)
        Message(U(kNotice), Listed(failures, QStringLiteral("\n\n")), MessageIcon::Information);
}

bool TForm1::BeginAddition() {
    if (runState_ != RunState::Idle || closing_) return false;
    if (!slots_.HasFree()) {  // before any dialog opens
        Message(U(kNotice), NoFreeSlotText(), MessageIcon::Information);
        return false;
    }
    Button7Click();
    return EnsureLibraries();
}

QStringList TForm1::ChooseFiles(bool several) {
    platform::OpenFileRequest request;
    request.filters = openFilters_;
    request.selectedFilter = 0;
    request.multiple = several;
    return services_.dialogs->OpenFiles(this, request);
}

void TForm1::Button6Click() {
    if (!BeginAddition()) return;
    const QStringList chosen = ChooseFiles(false);
    if (closing_ || chosen.isEmpty() || !QFileInfo(chosen.first()).isFile()) return;
    fields_.SourceFile = chosen.first();

    picker_->exec();
    if (closing_ || picker_->PickerResult() == QLatin1String("2")) return;

    const QString failure = AddCurrentFile(formats::AddMode::OneFile);
    if (!failure.isEmpty()) {
        ReportFailures({failure});
        return;
    }
    const int row = model_->Count() - 1;
    SelectRow(row);  // loads it, paused, into the player panel
    FocusJobList();
    EnableAfterAddition();
}

void TForm1::Button22Click(const QStringList& files) {
    if (!BeginAddition()) return;
    const QStringList chosen = files.isEmpty() ? ChooseFiles(true) : files;
    if (closing_ || chosen.isEmpty()) return;

    // The options dialog shows the first of them (and how many there are); "预览视频" opens it.
    options_->PrepareForAddition(false, outputFolder_, static_cast<int>(chosen.size()));
    fields_.SourceFile = chosen.first();
    picker_->exec();
    if (closing_ || picker_->PickerResult() == QLatin1String("2")) return;

    // The files are taken from the last one the dialog returned to the first.
    QStringList failures;
    bool added = false;
    for (qsizetype i = chosen.size() - 1; i >= 0; --i) {
        const QString& path = chosen[i];
        if (!slots_.HasFree()) {
            failures << NoFreeSlotText();
            break;
        }
        if (!QFileInfo(path).isFile()) {
            failures << U("文件不存在！") + path;
            continue;
        }
        fields_.SourceFile = path;
        const QString failure = AddCurrentFile(formats::AddMode::SeveralFiles);
        if (!failure.isEmpty()) {
            failures << failure;
            continue;
        }
        added = true;
    }
    if (added) EnableAfterAddition();
    if (model_->Count() > 0) {
        SelectRow(model_->Count() - 1);
        FocusJobList();
    }
    ReportFailures(failures);
}

bool TForm1::JobListDragEvent(QEvent* event) {
    const bool open = runState_ == RunState::Idle && !closing_;
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            // Always a copy: accepting a proposed move would let the file manager delete the
            // sources.
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (open && drag->mimeData()->hasUrls() && (drag->possibleActions() & Qt::CopyAction)) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::DragLeave:
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!open || !drop->mimeData()->hasUrls() ||
                !(drop->possibleActions() & Qt::CopyAction)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            const QList<QUrl> urls = drop->mimeData()->urls();
            QTimer::singleShot(0, this, [this, urls] { AddDroppedUrls(urls); });
            return true;
        }
        default:
            return false;
    }
}

void TForm1::AddDroppedUrls(const QList<QUrl>& urls) {
    if (runState_ != RunState::Idle || closing_ || openFilters_.empty()) return;
    const QStringList& mediaPatterns = openFilters_.front().patterns;  // "所有支持的文件类型"
    QStringList files;
    QStringList ignored;
    for (const QUrl& url : urls) {
        const QFileInfo info(url.isLocalFile() ? url.toLocalFile() : QString());
        if (url.isLocalFile() && info.isFile()) {
            files << info.absoluteFilePath();
            continue;
        }
        if (url.isLocalFile() && info.isDir()) {
            // QDir's name filters ignore letter case unless told otherwise.
            const QFileInfoList inside =
                QDir(info.absoluteFilePath())
                    .entryInfoList(mediaPatterns, QDir::Files, QDir::Name | QDir::LocaleAware);
            for (const QFileInfo& file : inside) files << file.absoluteFilePath();
            if (!inside.isEmpty()) continue;
        }
        ignored << (url.isLocalFile() ? url.toLocalFile() : url.toDisplayString());
    }
    if (!ignored.isEmpty()) {
        Message(U(kNotice),
                U("以下拖放的项目中没有可以添加的音频或视频文件，已忽略：\n") +
                    Listed(ignored, QStringLiteral("\n")),
                MessageIcon::Information);
    }
    if (files.isEmpty() || closing_) return;
    // Button22Click takes its files from the last to the first: reversed, the rows keep the
    // order of the drop.
    std::reverse(files.begin(), files.end());
    Button22Click(files);
}

void TForm1::AddFiles(const QStringList& paths) {
    QStringList files, missing;
    for (const QString& path : paths) (QFileInfo(path).isFile() ? files : missing) << path;
    if (!missing.isEmpty())
        Message(U(kNotice), U("以下文件不存在，未添加：\n") + Listed(missing, QStringLiteral("\n")),
                MessageIcon::Information);
    if (!files.isEmpty() && !closing_) Button22Click(files);
}

void TForm1::btnRemoveClick() {
    if (runState_ != RunState::Idle || closing_) return;
    const int row = SelectedRow();
    if (row < 0) {
        Message(U(kNotice), U("请先选择您需要删除的项目！"), MessageIcon::Information);
        return;
    }
    listEditing_ = true;
    player_->Stop();
    if (model_->Row(row).Status == status::Ready() && engine_.TaskCount() >= model_->Count())
        engine_.RemoveTask(row);
    slots_.Retire(row);
    model_->Remove(row);
    // No row stays current either: none may look chosen while "移除" cannot act on it.
    list_->selectionModel()->clear();
    listEditing_ = false;
    UpdateListButtons();
    player_->StopAndRepaint();
}

void TForm1::btnClearClick() {
    if (runState_ != RunState::Idle || closing_) return;
    Button7Click();
    engine_.ClearTasks();
    player_->StopAndRepaint();
    listEditing_ = true;
    model_->Clear();
    listEditing_ = false;
    ToolButton1_->setEnabled(true);
    UpdateListButtons();
    Button15Click();
}

void TForm1::MoveSelected(int delta) {
    if (runState_ != RunState::Idle || closing_) return;
    listEditing_ = true;
    const int row = SelectedRow();
    const int other = row + delta;
    if (row >= 0 && other >= 0 && other < model_->Count()) {
        model_->SwapRows(row, other);
        SelectRow(other);
        FocusJobList();
        slots_.Swap(row, other);
        // The engine's tasks follow the rows only until the next batch rebuilds them; a moved
        // row must not take another row's task with it when it is removed.
        engine_.ClearTasks();
    }
    listEditing_ = false;
    UpdateListButtons();
}

void TForm1::Button10Click() { MoveSelected(-1); }

void TForm1::Button11Click() { MoveSelected(+1); }

void TForm1::AdvListView1SelectItem() {
    UpdateListButtons();
    player_->ResetSeekBar();
    const int row = SelectedRow();
    if (row < 0) return;
    player_->SetSelectedSourceFile(model_->Row(row).Source);
    if (!listEditing_) player_->PlaySelected();
}

void TForm1::AdvListView1Click() {
    if (SelectedRow() < 0) player_->Stop();
}

void TForm1::suiButton12Click() {
    const int row = SelectedRow();
    if (row < 0) return;
    const QString source = model_->Row(row).Source;
    if (!QFileInfo(source).isFile()) return;
    information_->ShowFor(source);
}
