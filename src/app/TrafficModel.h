#pragma once
// The inspector's rows: the traffic records that pass its filters (an ID, an operation), in
// order, at most as many as the traffic record keeps. Rows come in batches; the text of a
// row is made only when the view asks for it.

#include "bus/TrafficLog.h"

#include <QAbstractTableModel>
#include <QFont>

#include <deque>
#include <optional>
#include <vector>

class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Program: who sent the exchange on a shared bus (this program, or an attached one).
    enum Column { Time, Direction, Operation, Program, Bytes, Decoding, ColumnCount };

    explicit TrafficModel(size_t capacity = TrafficLog::kCapacity, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The filters; a new filter empties the rows (the window refills them from the log).
    void SetFilter(std::optional<int> id, std::optional<JobKind> operation);
    bool Passes(const TrafficRecord& record) const;
    // Appends the records that pass; the oldest rows go past the capacity.
    void Append(std::vector<TrafficRecord>&& records);
    void Clear();
    const std::deque<TrafficRecord>& Rows() const { return rows; }

    // The window's name of an operation: "轮询", "命令", ...
    static QString OperationText(JobKind kind);
    // The window's name of a record's program: "本程序" for its own, else the client's.
    static QString ProgramText(const TrafficRecord& record);

private:
    const size_t capacity;
    const QFont bytesFont;
    std::optional<int> id;
    std::optional<JobKind> operation;
    std::deque<TrafficRecord> rows;
};
