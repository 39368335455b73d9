#pragma once
// TLineInspectorPanel: the line inspector `LineInspector` with its buttons `PauseInspector`
// and `ExportInspector`, over the link monitor's log.

#include <QWidget>
#include <functional>

class QPushButton;
class QTableView;
class TLineInspectorModel;
class TLineLog;

class TLineInspectorPanel : public QWidget {
    Q_OBJECT
public:
    TLineInspectorPanel(const TLineLog& log, QWidget* parent = nullptr);

    // Brings the table up to date (unless paused), keeping to the newest line when it was there.
    void refresh();
    // Scrolls to the line that crossed at or last before this moment (ms since the epoch)
    // and selects it; the view then stays there as lines arrive.
    void showMoment(qint64 ms);
    // Writes the lines held to a file, off the user-interface thread.
    void exportCsv();

    // Asks where to save; empty: cancelled. Tests replace it.
    std::function<QString(const QString& caption, const QString& filter)> saveFileName;
    // Reports a failed export to the operator.
    std::function<void(const QString& message)> errorReport;

    TLineInspectorModel* model() const { return model_; }
    QTableView* LineInspector = nullptr;
    QPushButton* PauseInspector = nullptr;
    QPushButton* ExportInspector = nullptr;

private:
    const TLineLog& log_;
    TLineInspectorModel* model_ = nullptr;
};
