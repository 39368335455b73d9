#pragma once
// The automatic measurements of one trace (the selected one: live, held or a reference),
// over the whole trace or between the cursors. Values in the trace's units (times in the X
// unit, the frequency in Hz over a time axis); one that does not apply reads "—" with the
// reason as its tool tip.

#include "measure/Measure.h"

#include <QWidget>
#include <vector>

class QLabel;

class MeasurePanel : public QWidget {
    Q_OBJECT
public:
    explicit MeasurePanel(QWidget* parent = nullptr);

    struct TTrace {
        QString name; // "Живо", "№4"
        QString xUnit;
        QString yUnit;
        bool betweenCursors = false;
    };
    void Show(const TTrace& trace, const measure::TMeasurements& m);
    // No trace to measure.
    void ShowNone();

    QLabel* Title = nullptr;
    // The value label of every measurement, in the order shown; objectName the field's name.
    std::vector<QLabel*> Values;
};
