#include "widgets/CalcButton.h"

#include <QPainter>

TCalcButton::TCalcButton(int KeyKind, QWidget* parent)
    : QAbstractButton(parent)
    , kind_(KeyKind)
{
    // A speed button: clicking it leaves the keyboard focus with the dialog.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void TCalcButton::SetTextColor(TColor c)
{
    color_ = c;
    update();
}

void TCalcButton::SetGlyph(const QPixmap& glyph)
{
    glyph_ = glyph;
    update();
}

void TCalcButton::SetNewStyle(bool on)
{
    newStyle_ = on;
    update();
}

QSize TCalcButton::sizeHint() const
{
    return {36, 22};
}

void TCalcButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect r = rect();
    const QColor face = color::toQColor(clBtnFace);
    const QColor light = color::toQColor(clBtnHighlight);
    const QColor shadow = color::toQColor(clBtnShadow);
    const QColor dark = color::toQColor(cl3DDkShadow);
    const bool down = isDown() || isChecked();

    p.fillRect(r, face);
    if (!newStyle_) {
        // The old style: a black frame around a raised face.
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    const auto edge = [&p](const QRect& box, const QColor& topLeft, const QColor& bottomRight) {
        p.setPen(topLeft);
        p.drawLine(box.topLeft(), box.topRight() - QPoint(1, 0));
        p.drawLine(box.topLeft(), box.bottomLeft() - QPoint(0, 1));
        p.setPen(bottomRight);
        p.drawLine(box.bottomLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomRight());
    };
    if (down) {
        edge(r, newStyle_ ? shadow : dark, light);
        if (newStyle_)
            edge(r.adjusted(1, 1, -1, -1), dark, face);
    } else {
        edge(r, light, newStyle_ ? dark : shadow);
        if (newStyle_)
            edge(r.adjusted(1, 1, -1, -1), face, shadow);
    }

    QRect content = r.adjusted(2, 2, -2, -2);
    if (down)
        content.translate(1, 1);
    if (!glyph_.isNull()) {
        QPixmap g = glyph_;
        if (!isEnabled()) {
            // A disabled glyph reads as its silhouette in the shadow colour.
            QPixmap grey(g.size());
            grey.setDevicePixelRatio(g.devicePixelRatio());
            grey.fill(Qt::transparent);
            QPainter gp(&grey);
            gp.drawPixmap(0, 0, g);
            gp.setCompositionMode(QPainter::CompositionMode_SourceIn);
            gp.fillRect(grey.rect(), shadow);
            gp.end();
            g = grey;
        }
        const QSize gs = g.deviceIndependentSize().toSize();
        p.drawPixmap(QRect(QPoint(content.center().x() - gs.width() / 2 + 1,
                               content.center().y() - gs.height() / 2 + 1),
                         gs),
            g);
        return;
    }
    p.setFont(font());
    p.setPen(isEnabled() ? color::toQColor(color_) : shadow);
    p.drawText(content, Qt::AlignCenter | Qt::TextSingleLine, text());
}
