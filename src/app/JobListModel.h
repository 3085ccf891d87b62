// The rows of the job list (AdvListView1) as a Qt table model, so that every cell's text is
// readable by the view, accessibility tools and tests. Seven columns; column 0 is the 1-based row
// number, always current. The progress column's display text is the percentage ("45%"); its
// value 0 … 100 is under ProgressRole, which the progress-bar delegate draws. Every cell's
// tooltip names the source's full path (the view shortens it), the output file and the reason
// of a failure. UI thread.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <vector>

namespace app {

enum JobColumn {
    kColNumber,      // "序号"
    kColSource,      // "视频源文件"
    kColSourceType,  // "源格式"
    kColTargetType,  // "目标格式"
    kColTime,        // "当前时间"
    kColProgress,    // "转换进度"
    kColStatus,      // "状态"
    kColumnCount
};

struct JobRow {
    QString Source;      // full path of the source file
    QString SourceType;  // "AVI"
    QString TargetType;  // "MP3"
    QString Time;        // "0", then "12   (秒)"
    int Progress = 0;    // 0 … 100
    QString Status;      // "准备", "转换中...", "暂停", "停止", "完成", "失败"
    QString Output;      // the output file: as planned, then as written
    QString Reason;      // why the row failed, was skipped or is incomplete; empty otherwise
};

class JobListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int ProgressRole = Qt::UserRole + 1;
    // Column captions and widths, left to right. The source column's width is 0: it takes what
    // the others leave of the list's width, so that every column fits without scrolling.
    static QString Caption(int column);
    static int Width(int column);

    explicit JobListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    int Count() const { return static_cast<int>(rows_.size()); }
    const JobRow& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
    void Append(const JobRow& row);
    void Remove(int row);
    void Clear();
    // Exchanges the complete contents of two rows (their numbers stay with the places).
    void SwapRows(int a, int b);
    void SetStatus(int row, const QString& status);
    // Clamped to 0 … 100.
    void SetProgress(int row, int value);
    void SetTime(int row, const QString& text);
    void SetOutput(int row, const QString& path);
    void SetReason(int row, const QString& reason);

private:
    void changed(int row, int column);
    std::vector<JobRow> rows_;
};

// Draws the progress cell: the filled part blue with white text, the rest white with grey text,
// the value as a percentage centred over both.
class ProgressDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// The type text of a file name: the extension after the last dot of the file-name part,
// upper-case, without the dot ("clip.psp.mp4" → "MP4"); empty without one.
QString TypeText(const QString& path);

}  // namespace app
