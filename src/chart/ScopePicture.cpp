#include "chart/ScopePicture.h"

#include "chart/Chart.h"
#include "chart/TraceLegend.h"
#include "chart/core/ChartTraces.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

constexpr int kPad = 6;

} // namespace

QImage ScopePicture(TChart& chart, const TChartTraces& traces, const TraceLegend* legend)
{
    QImage drawn(chart.size(), QImage::Format_RGB32);
    chart.DrawTo(drawn);

    const QStringList lines = traces.PictureTitle();
    QFont head = chart.font();
    head.setBold(true);
    const QFont body = chart.font();
    const int width = drawn.width();
    const QRect room(kPad, 0, width - 2 * kPad, 1 << 20);
    std::vector<QRect> boxes;
    int y = kPad;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QFontMetrics fm(i == 0 ? head : body);
        QRect box = fm.boundingRect(room, Qt::TextWordWrap, lines[i]);
        box.moveTop(y);
        box.setLeft(kPad);
        box.setWidth(room.width());
        boxes.push_back(box);
        y += box.height() + 2;
    }
    const int titleHeight = y + kPad;

    QImage picture(width, titleHeight + drawn.height(), QImage::Format_RGB32);
    picture.fill(color::toQColor(chart.Color()));
    QPainter p(&picture);
    p.setPen(Qt::black);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        p.setFont(i == 0 ? head : body);
        p.drawText(boxes[std::size_t(i)], Qt::TextWordWrap, lines[i]);
    }
    p.drawImage(0, titleHeight, drawn);
    p.save();
    p.translate(0, titleHeight);
    TCustomChart::PaintCursorLines(p, chart.CursorLines());
    p.restore();
    if (legend && !legend->isHidden()) {
        TraceLegend::Paint(p, legend->pos() + QPoint(0, titleHeight), legend->Rows(), legend->font());
    }
    return picture;
}
