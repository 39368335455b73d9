#include "chart/CursorPanel.h"

#include "chart/LabelRoom.h"
#include "chart/core/TraceSamples.h"
#include "common/Color.h"

#include <QGridLayout>
#include <QLabel>

#include <cmath>

namespace {

namespace text {
const QString none = QStringLiteral("—");
const QString difference = QStringLiteral("B − A");
const QString differenceHint = QStringLiteral("Разлика между стойностите при курсор B и при курсор A");
const QString inverse = QStringLiteral("1/ΔX = %1");
const QString inverseHint = QStringLiteral("Честотата, на която ΔX е един период");
const QString cursorHint = QStringLiteral("Стойност при курсор %1, между точките по права");
} // namespace text

QLabel* cell(QWidget* parent, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter)
{
    auto* l = new QLabel(parent);
    l->setAlignment(align);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

} // namespace

CursorPanel::CursorPanel(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CursorPanel"));
    grid_ = new QGridLayout(this);
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(12);
    grid_->setVerticalSpacing(1);
    const QString heads[] = {QString(), QStringLiteral("A"), QStringLiteral("B"), text::difference};
    for (int c = 0; c < 4; ++c) {
        QLabel* head = cell(this);
        head->setText(heads[c]);
        QFont bold = head->font();
        bold.setBold(true);
        head->setFont(bold);
        if (c == 3) {
            head->setToolTip(text::differenceHint);
        } else if (c > 0) {
            head->setToolTip(text::cursorHint.arg(heads[c]));
        }
        grid_->addWidget(head, 0, c);
    }
    ensureRows(1);
    InverseDx
        = valueCell(1, 4, text::inverse.arg(QStringLiteral("-888.88 kHz")), Qt::AlignLeft | Qt::AlignVCenter);
    InverseDx->setObjectName(QStringLiteral("InverseDx"));
    InverseDx->setToolTip(text::inverseHint);
    grid_->setColumnStretch(5, 1);
}

QLabel* CursorPanel::valueCell(int row, int column, const QString& usual, Qt::Alignment align)
{
    // A value's cell is a room of its own, as wide as a usual value, widened for a longer one.
    QLabel* l = cell(nullptr, align);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(usual));
    rooms_.push_back(new TLabelRoom(l, QSizePolicy::Fixed, this));
    grid_->addWidget(rooms_.back(), row, column);
    return l;
}

void CursorPanel::ensureRows(int rows)
{
    while (int(rows_.size()) < rows) {
        const int r = int(rows_.size()) + 1;
        std::array<QLabel*, 4> row{};
        // The name changes with the traces only; the values with every new point.
        row[0] = cell(this, Qt::AlignLeft | Qt::AlignVCenter);
        grid_->addWidget(row[0], r, 0);
        for (int c = 1; c < 4; ++c) {
            row[std::size_t(c)] = valueCell(r, c, QStringLiteral("-888.88 mS"));
        }
        rows_.push_back(row);
    }
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        for (QLabel* l : rows_[r]) {
            // A value stands in the grid through its room.
            (l->parentWidget() == this ? l : l->parentWidget())->setVisible(int(r) < rows);
        }
    }
}

QLabel* CursorPanel::Cell(int row, int column) const
{
    return rows_[std::size_t(row)][std::size_t(column)];
}

void CursorPanel::Show(const TCursorPairReading& reading)
{
    ensureRows(1 + int(reading.rows.size()));
    // Values read off different samples, and their differences, carry rounding in their last
    // bits: what is below a billionth of the axis reads 0.
    auto put = [](QLabel* l, const std::optional<double>& v, const QString& unit, double resolution) {
        l->setText(v ? chartmath::measureText(std::abs(*v) < resolution ? 0 : *v, unit) : text::none);
    };
    auto difference
        = [](const std::optional<double>& a, const std::optional<double>& b) -> std::optional<double> {
        if (a && b) {
            return *b - *a;
        }
        return std::nullopt;
    };

    Cell(0, 0)->setText(QStringLiteral("X"));
    put(Cell(0, 1), reading.a, reading.xUnit, reading.xResolution);
    put(Cell(0, 2), reading.b, reading.xUnit, reading.xResolution);
    const auto dx = difference(reading.a, reading.b);
    put(Cell(0, 3), dx, reading.xUnit, reading.xResolution);
    if (dx && std::abs(*dx) > reading.xResolution) {
        const chartmath::TFrequencyUnit f = chartmath::frequencyUnit(reading.xUnit);
        InverseDx->setText(text::inverse.arg(chartmath::measureText(f.factor / std::abs(*dx), f.unit)));
    } else {
        InverseDx->setText(text::inverse.arg(text::none));
    }

    for (std::size_t i = 0; i < reading.rows.size(); ++i) {
        const TCursorRow& r = reading.rows[i];
        QLabel* name = Cell(int(i) + 1, 0);
        name->setText(r.name);
        QPalette p = name->palette();
        p.setColor(QPalette::WindowText, color::toQColor(r.color));
        name->setPalette(p);
        put(Cell(int(i) + 1, 1), r.a, r.unit, r.resolution);
        put(Cell(int(i) + 1, 2), r.b, r.unit, r.resolution);
        put(Cell(int(i) + 1, 3), difference(r.a, r.b), r.unit, r.resolution);
    }
    for (TLabelRoom* room : rooms_) {
        room->Fit();
    }
}
