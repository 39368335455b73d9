// The program's icon: drawn at every size, and shown by the application, the main window,
// its dialogs and the tray.

#include "console/ProgramIcon.h"
#include "common/Version.h"
#include "console/CommandDialogs.h"
#include "console/MainUnit.h"
#include "widgets/TrayIcon.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A picture that is neither missing nor blank.
bool drawn(const QIcon& icon, int size)
{
    const QImage image = icon.pixmap(size, size).toImage();
    if (image.isNull() || image.width() != size)
        return false;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) == 255;
    return opaque > size * size / 2;
}

TEST(ProgramIcon, EveryDrawnSizeIsThere)
{
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_TRUE(drawn(icon, size)) << size;
    }
}

TEST(ProgramIcon, ApplicationCarriesIconAndDesktopName)
{
    QApplication::setWindowIcon(QIcon());
    SetUpApplicationIdentity();
    EXPECT_EQ(QApplication::windowIcon().cacheKey(), ProgramIcon().cacheKey());
    EXPECT_EQ(QGuiApplication::desktopFileName(), QString::fromLatin1(orvik::kAppId));
    EXPECT_EQ(QCoreApplication::applicationVersion(), QString::fromLatin1(orvik::kVersion));
    EXPECT_FALSE(QCoreApplication::applicationVersion().isEmpty());
}

// The window sets the icon itself, so it shows even where the application has none.
TEST(ProgramIcon, WindowDialogsAndTrayShowIt)
{
    const QIcon saved = QApplication::windowIcon();
    QApplication::setWindowIcon(QIcon());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        TForm1 form(dir.path());
        EXPECT_EQ(form.windowIcon().cacheKey(), ProgramIcon().cacheKey());
        for (int preset = 0; preset < 8; ++preset)
            EXPECT_EQ(form.PresetDialog(preset)->windowIcon().cacheKey(), ProgramIcon().cacheKey()) << preset;
        ASSERT_FALSE(form.TrayIcon1->Icon().isNull());
        EXPECT_EQ(form.TrayIcon1->Icon().cacheKey(), ProgramIcon().cacheKey());
        form.close();
    }
    QApplication::setWindowIcon(saved);
}

} // namespace
