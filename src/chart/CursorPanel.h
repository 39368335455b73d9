#pragma once
// The read-out of the measuring cursors A and B: their X and ΔX = B − A with 1/ΔX, and for
// every drawn trace its value at A and at B (on the line between samples, in the trace's
// units) and ΔY. A cursor that is off, or a trace without samples there, reads "—".

#include "chart/core/ChartCursors.h"

#include <QWidget>
#include <array>
#include <vector>

class QGridLayout;
class QLabel;
class TLabelRoom;

class CursorPanel : public QWidget {
    Q_OBJECT
public:
    explicit CursorPanel(QWidget* parent = nullptr);

    void Show(const TCursorPairReading& reading);
    // The label of a row (0: X, then the traces) and column (0 name, 1 A, 2 B, 3 B − A).
    QLabel* Cell(int row, int column) const;
    QLabel* InverseDx = nullptr; // 1/ΔX

private:
    void ensureRows(int rows);
    QLabel* valueCell(
        int row, int column, const QString& usual, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter);

    QGridLayout* grid_ = nullptr;
    std::vector<std::array<QLabel*, 4>> rows_;
    std::vector<TLabelRoom*> rooms_; // the values' cells
};
