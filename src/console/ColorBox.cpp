#include "console/ColorBox.h"

#include <QPainter>
#include <QPixmap>

namespace {

struct NamedColor {
    TColor color;
    const char* name;
};

constexpr NamedColor kStandardColors[] = {
    {clBlack, "Black"},
    {clMaroon, "Maroon"},
    {clGreen, "Green"},
    {clOlive, "Olive"},
    {clNavy, "Navy"},
    {clPurple, "Purple"},
    {clTeal, "Teal"},
    {clGray, "Gray"},
    {clSilver, "Silver"},
    {clRed, "Red"},
    {clLime, "Lime"},
    {clYellow, "Yellow"},
    {clBlue, "Blue"},
    {clFuchsia, "Fuchsia"},
    {clAqua, "Aqua"},
    {clWhite, "White"},
};

QIcon swatch(TColor color)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(color::toQColor(color));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 13, 13);
    return QIcon(pixmap);
}

} // namespace

TColorBox::TColorBox(QWidget* parent)
    : QComboBox(parent)
{
    for (const auto& c : kStandardColors)
        addColor(c.color, QString::fromLatin1(c.name));
    connect(this, &QComboBox::activated, this, [this](int) {
        if (OnChange)
            OnChange(this);
    });
}

void TColorBox::addColor(TColor color, const QString& name)
{
    addItem(swatch(color), name, QVariant::fromValue<qint32>(color));
}

int TColorBox::indexOfColor(TColor color) const
{
    for (int i = 0; i < count(); ++i) {
        if (itemData(i).value<qint32>() == color)
            return i;
    }
    return -1;
}

TColor TColorBox::Selected() const
{
    return currentIndex() < 0 ? clBlack : TColor(currentData().value<qint32>());
}

void TColorBox::SetSelected(TColor color)
{
    int index = indexOfColor(color);
    if (index < 0) {
        addColor(color, QStringLiteral("$%1").arg(quint32(color), 8, 16, QLatin1Char('0')).toUpper());
        index = count() - 1;
    }
    setCurrentIndex(index);
}
