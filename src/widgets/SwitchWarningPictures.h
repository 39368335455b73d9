#pragma once
// Named pictures of the switch and the warning dialog ("SwitchON", "SwitchOFF",
// "EXCLAMATIONICON"), compiled into the widgets library.

#include <QImage>
#include <QPixmap>

namespace switch_warning {

// The picture by its resource name; a null image for an unknown name.
QImage image(const char* name);
QPixmap picture(const char* name);

// Transparent drawing: every pixel of the bottom-left pixel's colour becomes transparent.
QImage withTransparentBackground(const QImage& source);

} // namespace switch_warning
