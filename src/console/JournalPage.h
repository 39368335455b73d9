#pragma once
// JournalPage: the "Журнал" page: the journal's list `JournalList` with its filter
// `JournalFilter` and `ExportJournal`, and below it the line inspector.

#include "console/core/JournalModel.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QPushButton;
class QTableView;
class TLineInspectorPanel;
class TLineLog;

class JournalPage : public QWidget {
    Q_OBJECT
public:
    JournalPage(const TLineLog& lines, QWidget* parent = nullptr);

    // Where the journal's rows go to be listed.
    TJournalModel* model() const { return model_; }
    // Shows the rows and lines taken since the last refresh (a few times a second).
    void refresh();
    void exportCsv();
    // Selects the list's row (the line inspector follows to its time) and shows it.
    void selectRow(int row);

    // Asks where to save; empty: cancelled. Tests replace it (the inspector's too).
    std::function<QString(const QString& caption, const QString& filter)> saveFileName;
    std::function<void(const QString& message)> errorReport;
    // Whether the pointer is over the list; tests replace it.
    std::function<bool()> PointerOverList;
    // Writes an export to `path`, oldest row first, away from the window's thread, and calls
    // `done` (later, on the window's thread) with an empty text or the error: every stored
    // row that matches the filter; without a store, those the list holds.
    std::function<void(
        TJournalFilter filter, const QString& path, std::function<void(const QString& error)> done)>
        exportRows;

    QComboBox* JournalFilter = nullptr;
    QTableView* JournalList = nullptr;
    QPushButton* ExportJournal = nullptr;
    TLineInspectorPanel* Inspector = nullptr;

signals:
    // A capture row was double-clicked: show that capture.
    void showCapture(qint64 id);
    // An event row was double-clicked: show the capture it started.
    void showEventCapture(const QString& event, const QString& time);
    // The filter changed: the store may give the newest matching rows (setStoredRows).
    void filterChanged(TJournalFilter filter);

private:
    TJournalModel* model_ = nullptr;
};
