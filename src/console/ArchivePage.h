#pragma once
// The "Архив" page: the list of stored captures with show, hide, export and delete. It asks
// the archive store for everything and is told back by signal; the list is a model of its
// own over plain rows, changed in batches. The list stays put while captures arrive: the
// selection follows its capture, and the row under the pointer (or one whose note is being
// edited) does not move.

#include "archive/ArchiveTypes.h"
#include "chart/core/TraceInfo.h"

#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class ArchiveStore;
class CaptureFilterModel;
class CaptureListModel;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;

// "Архивът не записва: <why>; чакат N" while the archive keeps trying; empty while it writes.
QString archiveNotWritingText(const ArchiveStore& store);
// A capture as the chart and its pictures name it.
TTraceInfo traceInfoOf(const CaptureRow& row);

class ArchivePage : public QWidget {
    Q_OBJECT
public:
    explicit ArchivePage(ArchiveStore& store, QWidget* parent = nullptr);

    // What the window provides: the reference traces on the scope chart (showing one is
    // refused when the chart holds as many as it takes), the file dialog (given a proposed
    // file), the question before a deletion and the report of a failure. Tests replace them.
    std::function<bool(const StoredCapture& capture)> ShowReference;
    std::function<void(const std::vector<std::int64_t>& ids)> HideReferences;
    std::function<QString(const QString& caption, const QString& proposed, const QString& filter)>
        SaveFileDialog;
    // The file to import, chosen in `folder`; empty when none was.
    std::function<QString(const QString& caption, const QString& folder, const QString& filter)>
        OpenFileDialog;
    std::function<bool(const QString& question)> Confirm;
    std::function<void(const QString& message)> Report;
    QString ExportFolder;

    // The store was opened on another file or turned off: the list starts again.
    void StoreChanged();

    void ShowCaptureClick();
    void HideCaptureClick();
    void ExportCsvClick();
    void ExportComtradeClick();
    void ExportComtrade2013Click();
    void DeleteCaptureClick();
    // "Внос": a COMTRADE record of another recorder, read on the archive's thread.
    void ImportComtradeClick();

    // The captures shown on the chart now; "Скрий" acts on those selected.
    void ReferencesChanged(const std::vector<std::int64_t>& shown);

    // The capture chosen in the list (the first of several); 0 when none.
    std::int64_t SelectedCapture() const;
    // Chooses a capture in the list (showing every capture when the filter hides it); false
    // when it is not listed.
    bool SelectCapture(std::int64_t id);
    std::vector<std::int64_t> SelectedCaptures() const;
    CaptureListModel* Model() const { return model_; }
    CaptureFilterModel* Shown() const { return filtered_; }

    // Whether the pointer is over the list; tests replace it.
    std::function<bool()> PointerOverList;

    QComboBox* CaptureFilter = nullptr;
    QTableView* CaptureList = nullptr;
    QPushButton* ShowCapture = nullptr;
    QPushButton* HideCapture = nullptr;
    QPushButton* ExportCsv = nullptr;
    // Clicked: COMTRADE 1999; its menu offers 2013 (BINARY32) as well.
    QToolButton* ExportComtrade = nullptr;
    QPushButton* DeleteCapture = nullptr;
    QPushButton* ImportComtrade = nullptr;
    QLabel* ArchiveStatus = nullptr;

signals:
    // An export finished (written, refused or failed); tests wait for it.
    void exportFinished(const ExportResult& result);
    // An import finished (stored or refused).
    void importFinished(const ImportResult& result);

private:
    void onStored(const CaptureRow& row);
    void onRemoved(const std::vector<std::int64_t>& ids);
    void onLoaded(const StoredCapture& capture, int purpose);
    void onExported(const ExportResult& result);
    void onImported(const ImportResult& result);
    void applyPending();
    void setStatus(const QString& text);
    void onWritingChanged();
    // False, with the reason said, while the archive does not write.
    bool canRead(const QString& refusal);
    void updateButtons();
    void exportSelected(ExportFormat format);
    void holdStill(int first, int last);
    bool editing() const;

    ArchiveStore& store_;
    CaptureListModel* model_ = nullptr;
    CaptureFilterModel* filtered_ = nullptr;
    std::int64_t keptSelection_ = 0; // across a reset of the list
    bool stayPut_ = false; // rows going in above the view do not move it
    QMenu* menu_ = nullptr;
    std::vector<CaptureRow> pendingRows_;
    std::vector<std::int64_t> pendingRemoved_;
    std::vector<std::int64_t> shown_;
    QTimer batch_;
};
