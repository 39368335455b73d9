#pragma once
// JPEG pictures of the help page, decoded with libjpeg itself (not through image plugins).

#include <QByteArray>
#include <QImage>

// The picture as RGB32; a null image when the data is not a JPEG libjpeg can decode.
QImage decodeJpeg(const QByteArray& data);
