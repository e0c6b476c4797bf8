#include "app/TrafficModel.h"

#include "protocol/PacketDecode.h"

#include <QFontDatabase>

TrafficModel::TrafficModel(size_t c, QObject* parent)
    : QAbstractTableModel(parent), capacity(c),
      bytesFont(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
}

int TrafficModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TrafficModel::OperationText(JobKind kind)
{
    switch (kind) {
    case JobKind::Poll: return tr("轮询");
    case JobKind::Command: return tr("命令");
    case JobKind::Search: return tr("搜索");
    case JobKind::Transfer: return tr("传输");
    case JobKind::Test: return tr("测试");
    }
    return {};
}

QString TrafficModel::ProgramText(const TrafficRecord& r)
{
    return r.source.empty() ? tr("本程序") : QString::fromStdString(r.source);
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size()))
        return {};
    const TrafficRecord& r = rows[static_cast<size_t>(index.row())];
    if (role == Qt::FontRole && index.column() == Bytes)
        return bytesFont;
    if (role == Qt::TextAlignmentRole && index.column() == Time)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const PacketView v = r.View();
    switch (index.column()) {
    case Time: return QString::number(r.timeUs);
    case Direction: return r.direction == PacketDirection::Out ? tr("发送") : tr("接收");
    case Operation: return OperationText(r.operation);
    case Program: return ProgramText(r);
    case Bytes: return QString::fromStdString(HexBytes(v.bytes, v.size));
    // A line about a client's connection rather than a packet says what happened.
    case Decoding: return QString::fromStdString(r.note.empty() ? DecodePacket(v) : r.note);
    default: return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Time: return tr("时间 (µs)");
    case Direction: return tr("方向");
    case Operation: return tr("操作");
    case Program: return tr("程序");
    case Bytes: return tr("字节");
    case Decoding: return tr("解码");
    default: return {};
    }
}

void TrafficModel::SetFilter(std::optional<int> i, std::optional<JobKind> o)
{
    beginResetModel();
    id = i;
    operation = o;
    rows.clear();
    endResetModel();
}

bool TrafficModel::Passes(const TrafficRecord& r) const
{
    if (operation && r.operation != *operation)
        return false;
    return !id || PacketConcerns(r.View(), *id);
}

void TrafficModel::Append(std::vector<TrafficRecord>&& records)
{
    std::vector<TrafficRecord> kept;
    kept.reserve(records.size());
    for (auto& r : records)
        if (Passes(r))
            kept.push_back(std::move(r));
    if (kept.empty())
        return;
    // Past the bound the oldest rows go, in one removal.
    if (kept.size() > capacity)
        kept.erase(kept.begin(), kept.end() - static_cast<std::ptrdiff_t>(capacity));
    const size_t over = rows.size() + kept.size() > capacity ? rows.size() + kept.size() - capacity : 0;
    if (over > 0) {
        beginRemoveRows({}, 0, static_cast<int>(over) - 1);
        rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(over));
        endRemoveRows();
    }
    const int first = static_cast<int>(rows.size());
    beginInsertRows({}, first, first + static_cast<int>(kept.size()) - 1);
    for (auto& r : kept)
        rows.push_back(std::move(r));
    endInsertRows();
}

void TrafficModel::Clear()
{
    beginResetModel();
    rows.clear();
    endResetModel();
}
