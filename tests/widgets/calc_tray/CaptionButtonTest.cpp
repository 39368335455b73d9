#include "widgets/CaptionButton.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(CaptionButton, OwnerMustBeAForm)
{
    QWidget form;
    QWidget child(&form);
    QObject plain;
    const auto fails = [](QObject* owner) {
        try {
            TCaptionButton b(owner);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    const std::string message = "TCaptionButton owner must be a TCustomForm";
    EXPECT_EQ(fails(nullptr), message);
    EXPECT_EQ(fails(&plain), message);
    EXPECT_EQ(fails(&child), message);
    EXPECT_EQ(fails(&form), "");
    QDialog dialog(&form); // a dialog over the form is a form too
    EXPECT_EQ(fails(&dialog), "");
}

struct Fixture {
    Fixture()
    {
        form.resize(400, 300);
        button = new TCaptionButton(&form);
        button->OnClick = [this](QObject* sender) {
            EXPECT_EQ(sender, button);
            ++clicks;
        };
        form.show();
    }
    QWidget* face() const { return button->Button(); }
    QPoint centre() const { return face()->rect().center(); }
    QPoint outside() const { return face()->rect().bottomRight() + QPoint(30, 30); }

    QWidget form;
    TCaptionButton* button = nullptr; // owned by the form
    int clicks = 0;
};

TEST(CaptionButton, ReleaseInsideClicksReleaseOutsideDoesNot)
{
    Fixture f;
    QTest::mouseClick(f.face(), Qt::LeftButton, {}, f.centre());
    EXPECT_EQ(f.clicks, 1);

    QTest::mousePress(f.face(), Qt::LeftButton, {}, f.centre());
    QTest::mouseMove(f.face(), f.outside());
    QTest::mouseRelease(f.face(), Qt::LeftButton, {}, f.outside());
    EXPECT_EQ(f.clicks, 1);

    // Out and back in while held still clicks.
    QTest::mousePress(f.face(), Qt::LeftButton, {}, f.centre());
    QTest::mouseMove(f.face(), f.outside());
    QTest::mouseMove(f.face(), f.centre());
    QTest::mouseRelease(f.face(), Qt::LeftButton, {}, f.centre());
    EXPECT_EQ(f.clicks, 2);

    QTest::mouseClick(f.face(), Qt::RightButton, {}, f.centre());
    EXPECT_EQ(f.clicks, 2);

    f.button->SetEnabled(false);
    QTest::mouseClick(f.face(), Qt::LeftButton, {}, f.centre());
    EXPECT_EQ(f.clicks, 2);
}

TEST(CaptionButton, PressedLookFollowsThePointer)
{
    Fixture f;
    const QImage up = f.face()->grab().toImage();
    QTest::mousePress(f.face(), Qt::LeftButton, {}, f.centre());
    const QImage pressed = f.face()->grab().toImage();
    QTest::mouseMove(f.face(), f.outside());
    const QImage raisedAgain = f.face()->grab().toImage();
    QTest::mouseRelease(f.face(), Qt::LeftButton, {}, f.outside());
    EXPECT_NE(up, pressed);
    EXPECT_EQ(up, raisedAgain);
}

TEST(CaptionButton, StandsInTheHostsTopRightCorner)
{
    Fixture f;
    // By default in the owner form's own corner, following its width.
    EXPECT_EQ(f.face()->parentWidget(), &f.form);
    EXPECT_NEAR(f.face()->geometry().right(), f.form.width() - 2, 2);
    EXPECT_LE(f.face()->y(), 2);
    f.form.resize(500, 300);
    EXPECT_NEAR(f.face()->geometry().right(), f.form.width() - 2, 2);

    // Position moves the button standard widths further left.
    const int right = f.face()->mapTo(&f.form, QPoint(4, 4)).x();
    f.button->SetPosition(1);
    EXPECT_LT(f.face()->mapTo(&f.form, QPoint(4, 4)).x(), right - 10);
    f.button->SetPosition(0);

    f.button->SetButtonWidth(30);
    f.button->SetButtonHeight(20);
    EXPECT_EQ(f.face()->size(), QSize(33, 24)); // plus the reacting margins

    QTabWidget tabs(&f.form);
    tabs.addTab(new QLabel(QStringLiteral("a")), QStringLiteral("Терминал"));
    f.button->SetHost(&tabs);
    EXPECT_EQ(tabs.cornerWidget(Qt::TopRightCorner), f.face());
    EXPECT_EQ(f.button->Host(), &tabs);
    EXPECT_EQ(f.button->OwnerForm(), &f.form);
    QTest::mouseClick(f.face(), Qt::LeftButton, {}, f.centre());
    EXPECT_EQ(f.clicks, 1);
}

TEST(CaptionButton, HintShowsOnlyWhenAsked)
{
    Fixture f;
    f.button->SetHint(QStringLiteral("Minimize to tray"));
    EXPECT_TRUE(f.face()->toolTip().isEmpty()); // the form shows no hints
    f.form.setProperty("ShowHint", true);
    EXPECT_EQ(f.face()->toolTip(), QStringLiteral("Minimize to tray"));
    f.button->SetParentShowHint(false);
    EXPECT_TRUE(f.face()->toolTip().isEmpty());
    f.button->SetShowHint(true);
    EXPECT_EQ(f.face()->toolTip(), QStringLiteral("Minimize to tray"));
}

TEST(CaptionButton, ToggleStaysDownUntilTheNextClick)
{
    Fixture f;
    f.button->SetToggle(true);
    QTest::mouseClick(f.face(), Qt::LeftButton, {}, f.centre());
    EXPECT_TRUE(f.button->Down());
    QTest::mouseClick(f.face(), Qt::LeftButton, {}, f.centre());
    EXPECT_FALSE(f.button->Down());
    EXPECT_EQ(f.clicks, 2);
}

TEST(CaptionButton, DiesWithItsOwnerOrAlone)
{
    auto form = std::make_unique<QWidget>();
    QTabWidget* tabs = new QTabWidget(form.get());
    auto* b = new TCaptionButton(form.get());
    b->SetHost(tabs);
    QPointer<QWidget> face = b->Button();
    delete b;
    EXPECT_TRUE(face.isNull());
    EXPECT_EQ(tabs->cornerWidget(Qt::TopRightCorner), nullptr);
    auto* b2 = new TCaptionButton(form.get());
    b2->SetHost(tabs);
    form.reset(); // the owner takes the button and its face with it
}

// Pictures for a person to look at: set ORVIK_SCREENSHOT_DIR to keep them.
TEST(CaptionButton, Screenshot)
{
    const QString dir = qEnvironmentVariable("ORVIK_SCREENSHOT_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "ORVIK_SCREENSHOT_DIR not set";
    QWidget form;
    form.resize(520, 160);
    form.setAutoFillBackground(true);
    QPalette pal = form.palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    form.setPalette(pal);
    auto* tabs = new QTabWidget(&form);
    tabs->setGeometry(8, 8, 504, 144);
    for (const char* caption : {"Терминал", "Настройки", "Графични данни", "Помощ"})
        tabs->addTab(new QWidget, QString::fromUtf8(caption));
    auto* button = new TCaptionButton(&form);
    button->SetHint(QStringLiteral("Minimize to tray"));
    button->SetHost(tabs);
    form.show();
    QApplication::processEvents();
    form.grab().save(QDir(dir).filePath(QStringLiteral("caption-button.png")));
    QTest::mousePress(button->Button(), Qt::LeftButton, {}, button->Button()->rect().center());
    form.grab().save(QDir(dir).filePath(QStringLiteral("caption-button-pressed.png")));
    QTest::mouseRelease(button->Button(), Qt::LeftButton, {}, button->Button()->rect().center());
    button->Button()
        ->grab()
        .scaled(button->Button()->size() * 8)
        .save(QDir(dir).filePath(QStringLiteral("caption-button-zoom.png")));
}

} // namespace
