#pragma once
// The archive list: a table model over plain capture rows, newest first, changed in batches
// (one insertion for the captures stored since the last batch) so a flood of captures does
// not reset the view or lose the operator's selection.

#include "archive/ArchiveTypes.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <vector>

class CaptureListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Id,
        Event,
        Started,
        Points,
        Peak,
        PeakToPeak,
        Rms,
        Frequency,
        Axes,
        Port,
        Note,
        Origin, // empty for a live capture, the recording's name for a replayed one
        ColumnCount
    };
    // What the list sorts by: numbers for the numeric columns (a measure not yet computed, or
    // a frequency that does not apply, below every number), the text for the others.
    static constexpr int SortRole = Qt::UserRole;

    explicit CaptureListModel(QStringList headers, QObject* parent = nullptr);

    void setRows(std::vector<CaptureRow> rows);
    // New and changed rows (by id) and removed ids, applied together.
    void apply(const std::vector<CaptureRow>& changed, const std::vector<std::int64_t>& removed);

    const CaptureRow* rowAt(int row) const;
    int rowOf(std::int64_t id) const;
    // The capture the event of this name and time (as journalled) started; 0 when none.
    std::int64_t findByEvent(const QString& event, const QString& time) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    void noteEdited(std::int64_t id, const QString& note);

private:
    QStringList headers_;
    std::vector<CaptureRow> rows_; // by id, highest first
};

// The list as the archive page shows it: every capture, or those of one event ("CaptureFilter").
class CaptureFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    // Empty: every capture.
    void setEvent(const QString& event);
    const QString& eventShown() const { return event_; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString event_;
};
