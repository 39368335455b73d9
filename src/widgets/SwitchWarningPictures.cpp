#include "widgets/SwitchWarningPictures.h"

#include <QString>
#include <mutex>

// Resources of a static library have to be registered by hand; this must run at global
// scope for the macro to name the right symbol.
static void initSwitchWarningResources()
{
    Q_INIT_RESOURCE(switch_warning);
}

namespace switch_warning {

QImage image(const char* name)
{
    static std::once_flag once;
    std::call_once(once, initSwitchWarningResources);
    return QImage(QStringLiteral(":/widgets/%1.png").arg(QLatin1String(name)));
}

QPixmap picture(const char* name)
{
    return QPixmap::fromImage(image(name));
}

QImage withTransparentBackground(const QImage& source)
{
    if (source.isNull())
        return source;
    QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = img.pixel(0, img.height() - 1);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return img;
}

} // namespace switch_warning
