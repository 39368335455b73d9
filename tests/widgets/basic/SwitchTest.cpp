#include "widgets/Switch.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A shown switch of the settings page's size with every event recorded in order.
struct LogSwitch {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TSwitch* sw = new TSwitch(window.get());
    std::vector<std::string> events;

    LogSwitch()
    {
        sw->setObjectName(QStringLiteral("Log"));
        sw->setGeometry(10, 10, 50, 60);
        sw->SetCaption(QStringLiteral("Log"));
        sw->OnOn = [this](QObject*) { events.push_back("on"); };
        sw->OnOff = [this](QObject*) { events.push_back("off"); };
        sw->OnClick = [this](QObject*) { events.push_back(sw->StateOn() ? "click:on" : "click:off"); };
        window->resize(120, 100);
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

using Events = std::vector<std::string>;

} // namespace

TEST(Switch, MouseClickTogglesThenClicks)
{
    LogSwitch s;
    QTest::mouseClick(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    EXPECT_TRUE(s.sw->StateOn());
    EXPECT_TRUE(s.sw->hasFocus());
    QTest::mouseClick(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    EXPECT_FALSE(s.sw->StateOn());
    EXPECT_EQ(s.events, (Events{"on", "click:on", "off", "click:off"}));
}

TEST(Switch, ReleaseOutsideTogglesWithoutClick)
{
    LogSwitch s;
    QTest::mousePress(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    QTest::mouseRelease(s.sw, Qt::LeftButton, {}, QPoint(80, 30));
    EXPECT_EQ(s.events, (Events{"on"}));
}

TEST(Switch, DoubleClickKeepsClickHandlersInStep)
{
    LogSwitch s;
    // The sequence a widget receives: press, release, double click, release.
    QTest::mousePress(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    QTest::mouseRelease(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    QTest::mouseDClick(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    QTest::mouseRelease(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    // Press, release, second press, release: two toggles, each followed by its click.
    EXPECT_FALSE(s.sw->StateOn());
    EXPECT_EQ(s.events, (Events{"on", "click:on", "off", "click:off"}));
}

TEST(Switch, OtherButtonsDoNotToggle)
{
    LogSwitch s;
    QTest::mouseClick(s.sw, Qt::RightButton, {}, QPoint(25, 30));
    QTest::mouseClick(s.sw, Qt::MiddleButton, {}, QPoint(25, 30));
    EXPECT_FALSE(s.sw->StateOn());
    EXPECT_TRUE(s.events.empty());
}

TEST(Switch, ToggleKeyTogglesWithoutClick)
{
    LogSwitch s;
    s.sw->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&s] { return s.sw->hasFocus(); }, 5000));
    QTest::keyClick(s.sw, Qt::Key_Space);
    EXPECT_TRUE(s.sw->StateOn());
    // With a modifier it is another key.
    QTest::keyClick(s.sw, Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_TRUE(s.sw->StateOn());
    QTest::keyClick(s.sw, Qt::Key_Space);
    EXPECT_EQ(s.events, (Events{"on", "off"}));

    s.sw->SetToggleKey(QKeyCombination(Qt::ControlModifier, Qt::Key_T));
    QTest::keyClick(s.sw, Qt::Key_Space);
    QTest::keyClick(s.sw, Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(s.events, (Events{"on", "off", "on"}));

    // A key handler that swallows the key keeps the switch from toggling.
    s.sw->OnKeyDown = [](QObject*, int& key, Qt::KeyboardModifiers) { key = 0; };
    QTest::keyClick(s.sw, Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(s.sw->StateOn());
}

TEST(Switch, StateFromCodeFiresOnOnOffButNeverClick)
{
    LogSwitch s;
    s.sw->SetStateOn(false);
    EXPECT_TRUE(s.events.empty());
    s.sw->SetStateOn(true);
    s.sw->SetStateOn(true);
    s.sw->Toggle();
    EXPECT_EQ(s.events, (Events{"on", "off"}));
}

TEST(Switch, DisabledIgnoresTheMouse)
{
    LogSwitch s;
    s.sw->setEnabled(false);
    QTest::mouseClick(s.sw, Qt::LeftButton, {}, QPoint(25, 30));
    EXPECT_FALSE(s.sw->StateOn());
}

TEST(Switch, AcceleratorFocusesWithoutToggling)
{
    LogSwitch s;
    auto* other = new QWidget(s.window.get());
    other->setFocusPolicy(Qt::StrongFocus);
    other->setGeometry(70, 10, 20, 20);
    other->show();
    other->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([other] { return other->hasFocus(); }, 5000));
    s.sw->SetCaption(QStringLiteral("&Log"));
    QTest::keyClick(other, Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(s.sw->hasFocus());
    EXPECT_FALSE(s.sw->StateOn());
}

TEST(Switch, PicturePlacement)
{
    TSwitch sw;
    sw.resize(50, 60);
    EXPECT_EQ(sw.GlyphRect(), QRect(9, 0, 32, 48));
    EXPECT_TRUE(sw.CaptionRect().isEmpty());
    sw.resize(100, 80);
    struct Case {
        TTextPos pos;
        QRect glyph;
    };
    const Case cases[] = {
        {tpLeft, QRect(68, 0, 32, 48)},
        {tpRight, QRect(0, 0, 32, 48)},
        {tpAbove, QRect(34, 32, 32, 48)},
        {tpBelow, QRect(34, 0, 32, 48)},
    };
    for (const Case& c : cases) {
        sw.SetTextPosition(c.pos);
        EXPECT_EQ(sw.GlyphRect(), c.glyph) << int(c.pos);
        const QRect cap = sw.CaptionRect();
        EXPECT_FALSE(cap.intersects(c.glyph)) << int(c.pos);
        EXPECT_TRUE(QRect(0, 0, 100, 80).contains(cap)) << int(c.pos);
    }
    sw.SetTextPosition(tpNone);
    sw.SetBorderStyle(TSwitch::bsSingle);
    EXPECT_EQ(sw.GlyphRect().topLeft(), QPoint(2 + (96 - 32) / 2, 2));
}

TEST(Switch, BuiltinPicturesAreTransparentAndDiffer)
{
    const QImage on = TSwitch::BuiltinGlyph(true).toImage();
    const QImage off = TSwitch::BuiltinGlyph(false).toImage();
    ASSERT_EQ(on.size(), QSize(32, 48));
    ASSERT_EQ(off.size(), QSize(32, 48));
    EXPECT_EQ(qAlpha(on.pixel(0, 47)), 0);
    EXPECT_EQ(qAlpha(off.pixel(0, 0)), 0);
    // The window of the "on" picture holds a red mark; the "off" window has none.
    auto redPixels = [](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixel(x, y) == qRgb(255, 0, 0);
        return n;
    };
    EXPECT_GT(redPixels(on), 20);
    EXPECT_EQ(redPixels(off), 0);
}

TEST(Switch, ReplacedPicturesGetAGreyCopyAndNullRestoresTheBuiltin)
{
    LogSwitch s;
    QImage img(20, 20, QImage::Format_RGB32);
    img.fill(Qt::white);
    for (int i = 0; i < 20; ++i)
        img.setPixel(i, 10, qRgb(0, 0, 0));
    s.sw->SetGlyphOff(QPixmap::fromImage(img));
    EXPECT_TRUE(s.sw->GlyphOffReplaced());
    EXPECT_EQ(s.sw->GlyphRect().size(), QSize(20, 20));
    s.sw->setEnabled(false);
    const QImage shot = s.sw->grab().toImage();
    const QPoint at = s.sw->GlyphRect().topLeft();
    // Disabled: the black line is drawn in the shadow colour, its highlight one pixel lower.
    EXPECT_EQ(shot.pixel(at + QPoint(5, 10)), color::toQColor(clBtnShadow).rgb());
    EXPECT_EQ(shot.pixel(at + QPoint(5, 11)), color::toQColor(clBtnHighlight).rgb());
    s.sw->SetGlyphOff(QPixmap());
    EXPECT_FALSE(s.sw->GlyphOffReplaced());
    EXPECT_EQ(s.sw->GlyphRect().size(), QSize(32, 48));
}
