#include "console/core/JpegImage.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(JpegImage, HelpPicturesDecodeAtTheirSizes)
{
    const QString folder = QStringLiteral(ORVIK_HELP_DIR);
    const std::pair<const char*, QSize> pictures[]
        = {{"scheme1.jpg", {1544, 984}}, {"scheme2.jpg", {1197, 886}}, {"scheme3.jpg", {1388, 1028}}};
    for (const auto& [name, size] : pictures) {
        const QByteArray data = readAll(folder + '/' + QLatin1String(name));
        ASSERT_FALSE(data.isEmpty()) << name;
        const QImage image = decodeJpeg(data);
        EXPECT_EQ(image.size(), size) << name;
        // The drawings are mostly white paper.
        EXPECT_GT(qGray(image.pixel(5, 5)), 240) << name;
    }
}

TEST(JpegImage, BrokenDataGivesANullImage)
{
    const QByteArray good = readAll(QStringLiteral(ORVIK_HELP_DIR "/scheme2.jpg"));
    ASSERT_GT(good.size(), 1000);
    EXPECT_TRUE(decodeJpeg({}).isNull());
    EXPECT_TRUE(decodeJpeg("not a picture").isNull());
    EXPECT_TRUE(decodeJpeg(good.left(200)).isNull()) << "cut inside the headers";
    QByteArray garbled = good;
    for (qsizetype i = 0; i < 64; ++i)
        garbled[i] = char(0x5A);
    EXPECT_TRUE(decodeJpeg(garbled).isNull());
}

} // namespace
