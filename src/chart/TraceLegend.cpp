#include "chart/TraceLegend.h"

#include "chart/Chart.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <array>

namespace {

constexpr int kPad = 4;
constexpr int kGap = 8;
constexpr int kLine = 18;
constexpr int kInset = 4; // from the plotting rectangle's corner

struct Geometry {
    int rowHeight = 0;
    int tick = 0;
    std::array<int, 5> columns{}; // number, event, start, units, note
    int width = 0;
    int height = 0;
};

std::array<QString, 5> cells(const TLegendRow& r)
{
    return {r.number, r.event, r.start, r.units, r.note};
}

Geometry measure(const std::vector<TLegendRow>& rows, const QFont& font)
{
    const QFontMetrics fm(font);
    Geometry g;
    g.rowHeight = fm.height() + 2;
    g.tick = fm.height() - 4;
    for (const TLegendRow& r : rows) {
        const auto texts = cells(r);
        for (std::size_t c = 0; c < texts.size(); ++c) {
            g.columns[c] = std::max(g.columns[c], fm.horizontalAdvance(texts[c]));
        }
    }
    g.width = kPad + g.tick + kGap + kLine;
    for (int w : g.columns) {
        if (w > 0) {
            g.width += kGap + w;
        }
    }
    g.width += kPad;
    g.height = 2 * kPad + int(rows.size()) * g.rowHeight;
    return g;
}

} // namespace

TraceLegend::TraceLegend(TChart& chart, TChartTraces& traces)
    : QWidget(&chart)
    , chart_(chart)
    , traces_(traces)
{
    setObjectName(QStringLiteral("TraceLegend"));
    setCursor(Qt::ArrowCursor);
    chart_.installEventFilter(this);
    Refresh();
}

QSize TraceLegend::SizeFor(const std::vector<TLegendRow>& rows, const QFont& font)
{
    const Geometry g = measure(rows, font);
    return {g.width, g.height};
}

void TraceLegend::Paint(QPainter& p, QPoint at, const std::vector<TLegendRow>& rows, const QFont& font)
{
    const Geometry g = measure(rows, font);
    p.save();
    p.translate(at);
    p.setFont(font);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(QColor(0xFF, 0xFF, 0xFF, 0xE6));
    p.drawRect(0, 0, g.width - 1, g.height - 1);
    const QFontMetrics fm(font);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TLegendRow& r = rows[i];
        const int top = kPad + int(i) * g.rowHeight;
        if (r.selected) {
            p.fillRect(1, top, g.width - 2, g.rowHeight, QColor(0xCC, 0xE0, 0xFF));
        }
        const int middle = top + g.rowHeight / 2;
        const QRect box(kPad, middle - g.tick / 2, g.tick, g.tick);
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        p.drawRect(box);
        if (r.ticked) {
            p.setPen(QPen(Qt::black, 2));
            p.drawPolyline(QPolygon(
                {QPoint(box.left() + 2, middle), QPoint(box.left() + g.tick / 2 - 1, box.bottom() - 2),
                    QPoint(box.right() - 2, box.top() + 2)}));
        }
        int x = box.right() + 1 + kGap;
        p.setPen(QPen(color::toQColor(r.color), r.selected ? 3 : 2));
        p.drawLine(x, middle, x + kLine, middle);
        x += kLine;
        const auto texts = cells(r);
        const int baseline = top + (g.rowHeight - fm.height()) / 2 + fm.ascent();
        for (std::size_t c = 0; c < texts.size(); ++c) {
            if (g.columns[c] == 0) {
                continue;
            }
            x += kGap;
            const bool note = c + 1 == texts.size();
            p.setPen(
                note ? QColor(0xA0, 0x00, 0x00) : (r.ticked ? QColor(Qt::black) : QColor(0x80, 0x80, 0x80)));
            p.drawText(x, baseline, texts[c]);
            x += g.columns[c];
        }
    }
    p.restore();
}

int TraceLegend::RowAt(QPoint at, bool* onTick) const
{
    const Geometry g = measure(rows_, font());
    const int row = at.y() < kPad ? -1 : (at.y() - kPad) / g.rowHeight;
    if (row < 0 || row >= int(rows_.size()) || at.x() < 0 || at.x() >= g.width) {
        return -1;
    }
    if (onTick) {
        *onTick = at.x() < kPad + g.tick + kGap / 2;
    }
    return row;
}

void TraceLegend::Refresh()
{
    // Asked on every sample record: rows that did not change are not measured and drawn again.
    std::vector<TLegendRow> rows = traces_.LegendRows();
    if (rows == rows_ && font() == sizedFor_ && !rows_.empty())
        return;
    rows_ = std::move(rows);
    sizedFor_ = font();
    // The live trace alone needs no legend, nor measuring (its start changes with each
    // capture).
    setVisible(rows_.size() > 1);
    if (rows_.size() <= 1)
        return;
    resize(SizeFor(rows_, font()));
    place();
    update();
}

void TraceLegend::place()
{
    placeQueued_ = false;
    const TChartRect& plot = chart_.LastPicture().ChartRect;
    const int right = plot.Right > plot.Left ? plot.Right : chart_.width() - 1;
    const int top = plot.Right > plot.Left ? plot.Top : 0;
    move(std::max(0, right - kInset - width()), top + kInset);
}

void TraceLegend::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p, QPoint(0, 0), rows_, font());
}

void TraceLegend::mousePressEvent(QMouseEvent* event)
{
    bool onTick = false;
    const int row = RowAt(event->position().toPoint(), &onTick);
    event->accept();
    if (row < 0 || event->button() != Qt::LeftButton) {
        return;
    }
    const TLegendRow r = rows_[std::size_t(row)];
    if (onTick) {
        traces_.SetTicked(r.id, !r.ticked);
    } else {
        traces_.Select(r.selected ? TChartTraces::kNone : r.id);
    }
}

bool TraceLegend::eventFilter(QObject* watched, QEvent* event)
{
    // The plotting rectangle is known once the chart has laid out the picture it paints.
    if (watched == &chart_ && (event->type() == QEvent::Paint || event->type() == QEvent::Resize)
        && !placeQueued_) {
        placeQueued_ = true;
        QMetaObject::invokeMethod(
            this, [this] { place(); }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}
