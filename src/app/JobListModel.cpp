#include "app/JobListModel.h"

#include <QPainter>
#include <algorithm>

namespace app {

QString JobListModel::Caption(int column) {
    static const char* const kCaptions[kColumnCount] = {
        "序号", "视频源文件", "源格式", "目标格式", "当前时间", "转换进度", "状态"};
    return column >= 0 && column < kColumnCount ? QString::fromUtf8(kCaptions[column]) : QString();
}

int JobListModel::Width(int column) {
    static const int kWidths[kColumnCount] = {36, 0, 52, 60, 68, 90, 64};
    return column >= 0 && column < kColumnCount ? kWidths[column] : 0;
}

int JobListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int JobListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant JobListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const JobRow& r = Row(index.row());
    if (role == ProgressRole && index.column() == kColProgress) return r.Progress;
    if (role == Qt::ToolTipRole) {
        // The output: the name planned, then the name it was written under.
        QString tip = QString::fromUtf8("源文件：") + r.Source;
        if (!r.Output.isEmpty()) tip += QString::fromUtf8("\n输出文件：") + r.Output;
        if (!r.Reason.isEmpty()) tip += QString::fromUtf8("\n原因：") + r.Reason;
        return tip;
    }
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    switch (index.column()) {
        case kColNumber: return QString::number(index.row() + 1);
        case kColSource: return r.Source;
        case kColSourceType: return r.SourceType;
        case kColTargetType: return r.TargetType;
        case kColTime: return r.Time;
        case kColProgress: return QString::number(r.Progress) + QLatin1Char('%');
        case kColStatus: return r.Status;
        default: return {};
    }
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return Caption(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void JobListModel::Append(const JobRow& row) {
    beginInsertRows({}, Count(), Count());
    rows_.push_back(row);
    endInsertRows();
}

void JobListModel::Remove(int row) {
    if (row < 0 || row >= Count()) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    // Every later row got a new number.
    if (row < Count()) emit dataChanged(index(row, kColNumber), index(Count() - 1, kColNumber));
}

void JobListModel::Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void JobListModel::SwapRows(int a, int b) {
    if (a < 0 || b < 0 || a >= Count() || b >= Count() || a == b) return;
    std::swap(rows_[static_cast<size_t>(a)], rows_[static_cast<size_t>(b)]);
    emit dataChanged(index(a, 0), index(a, kColumnCount - 1));
    emit dataChanged(index(b, 0), index(b, kColumnCount - 1));
}

void JobListModel::changed(int row, int column) {
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

void JobListModel::SetStatus(int row, const QString& status) {
    if (row < 0 || row >= Count() || rows_[static_cast<size_t>(row)].Status == status) return;
    rows_[static_cast<size_t>(row)].Status = status;
    changed(row, kColStatus);
}

void JobListModel::SetProgress(int row, int value) {
    value = std::clamp(value, 0, 100);
    if (row < 0 || row >= Count() || rows_[static_cast<size_t>(row)].Progress == value) return;
    rows_[static_cast<size_t>(row)].Progress = value;
    changed(row, kColProgress);
}

void JobListModel::SetOutput(int row, const QString& path) {
    if (row < 0 || row >= Count()) return;
    rows_[static_cast<size_t>(row)].Output = path;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1), {Qt::ToolTipRole});
}

void JobListModel::SetReason(int row, const QString& reason) {
    if (row < 0 || row >= Count()) return;
    rows_[static_cast<size_t>(row)].Reason = reason;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1), {Qt::ToolTipRole});
}

void JobListModel::SetTime(int row, const QString& text) {
    if (row < 0 || row >= Count() || rows_[static_cast<size_t>(row)].Time == text) return;
    rows_[static_cast<size_t>(row)].Time = text;
    changed(row, kColTime);
}

void ProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const int value = std::clamp(index.data(JobListModel::ProgressRole).toInt(), 0, 100);
    const QRect cell = option.rect.adjusted(1, 1, -1, -1);
    const int filled = cell.width() * value / 100;
    const QRect done(cell.left(), cell.top(), filled, cell.height());
    const QRect rest(cell.left() + filled, cell.top(), cell.width() - filled, cell.height());
    const QString text = QString::number(value) + QLatin1Char('%');
    painter->save();
    painter->setFont(option.font);
    painter->fillRect(rest, Qt::white);
    painter->setPen(Qt::gray);
    painter->drawText(cell, Qt::AlignCenter, text);
    if (filled > 0) {
        painter->fillRect(done, QColor(0, 90, 200));
        painter->setClipRect(done);
        painter->setPen(Qt::white);
        painter->drawText(cell, Qt::AlignCenter, text);
    }
    painter->restore();
}

QString TypeText(const QString& path) {
    const qsizetype start = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < start) return {};
    return path.mid(dot + 1).toUpper();
}

}  // namespace app
