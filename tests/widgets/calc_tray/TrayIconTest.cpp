#include "widgets/TrayIcon.h"

#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

struct FakeTray : TTrayIcon::Backend {
    bool available = true;
    quintptr window = 1;
    bool shown = false;
    int adds = 0;
    int modifies = 0;
    QIcon icon;
    QString hint;
    bool* shownOutside = nullptr; // outlives the fake

    bool Available() const override { return available; }
    void Add(const QIcon& i, const QString& h) override
    {
        ++adds;
        // Without a tray the icon is registered nowhere.
        shown = available;
        if (shownOutside)
            *shownOutside = available;
        icon = i;
        hint = h;
    }
    void Modify(const QIcon& i, const QString& h) override
    {
        ++modifies;
        icon = i;
        hint = h;
    }
    void Delete() override
    {
        shown = false;
        if (shownOutside)
            *shownOutside = false;
    }
    quintptr TrayWindow() const override { return window; }
};

QIcon solid(Qt::GlobalColor c)
{
    QPixmap pm(16, 16);
    pm.fill(c);
    return QIcon(pm);
}

// A main window with a tray icon wired as the console wires it: double click restores and
// deactivates.
struct Console {
    Console()
    {
        auto fake = std::make_unique<FakeTray>();
        tray = fake.get();
        icon = std::make_unique<TTrayIcon>(&form, std::move(fake));
        icon->SetAnimated(true);
        icon->OnDblClick
            = [this](QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint&) {
                  EXPECT_EQ(sender, icon.get());
                  EXPECT_EQ(button, Qt::LeftButton);
                  icon->RestoreFromTray();
                  icon->SetActive(false);
              };
        form.resize(300, 200);
        form.show();
    }
    // What the caption button's handler does.
    void minimizeToTray()
    {
        icon->SetActive(true);
        icon->MinimizeToTray();
    }
    void doubleClick() { tray->Activated(true); }

    QWidget form;
    FakeTray* tray = nullptr;
    std::unique_ptr<TTrayIcon> icon;
};

TEST(TrayIcon, MinimiseHidesTheWindowAndDoubleClickBringsItBack)
{
    Console c;
    EXPECT_EQ(c.icon->MainForm(), &c.form);
    EXPECT_FALSE(c.tray->shown); // inactive at start
    c.minimizeToTray();
    EXPECT_TRUE(c.tray->shown);
    EXPECT_FALSE(c.form.isVisible()); // the task-bar entry goes with the window
    EXPECT_TRUE(c.icon->InTray());
    c.doubleClick();
    EXPECT_TRUE(c.form.isVisible());
    EXPECT_FALSE(c.form.isMinimized());
    EXPECT_FALSE(c.tray->shown);
    EXPECT_FALSE(c.icon->Active());
    EXPECT_FALSE(c.icon->InTray());

    c.minimizeToTray();
    c.form.show(); // the program shows the window itself
    EXPECT_FALSE(c.icon->InTray());
}

TEST(TrayIcon, RestoreKeepsTheEarlierWindowState)
{
    Console c;
    c.form.showMaximized();
    c.minimizeToTray();
    c.doubleClick();
    EXPECT_TRUE(c.form.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(c.form.windowState() & Qt::WindowMinimized);
}

TEST(TrayIcon, ActivatingRegistersTheIconAndItsHint)
{
    Console c;
    QApplication::setWindowIcon(solid(Qt::red));
    c.icon->SetHint(QString(200, QChar('h')));
    c.icon->SetActive(true);
    EXPECT_EQ(c.tray->adds, 1);
    EXPECT_EQ(c.tray->hint.size(), 127); // the tray's limit
    // An empty icon takes the application's.
    EXPECT_EQ(c.icon->Icon().cacheKey(), QApplication::windowIcon().cacheKey());
    c.icon->SetIcon(solid(Qt::blue));
    EXPECT_EQ(c.tray->adds, 1);
    EXPECT_EQ(c.tray->modifies, 1);
    EXPECT_EQ(c.tray->icon.cacheKey(), c.icon->Icon().cacheKey());
    c.icon->SetActive(true); // no second registration
    EXPECT_EQ(c.tray->adds, 1);
    QApplication::setWindowIcon(QIcon());
}

TEST(TrayIcon, RestartedTrayGetsTheIconAgainOnTheNextChange)
{
    Console c;
    c.icon->SetActive(true);
    c.icon->SetHint(QStringLiteral("a"));
    EXPECT_EQ(c.tray->adds, 1);
    c.tray->window = 2; // the task bar was restarted
    c.icon->SetHint(QStringLiteral("b"));
    EXPECT_EQ(c.tray->adds, 2);
    EXPECT_EQ(c.tray->hint, QStringLiteral("b"));
    c.icon->SetHint(QStringLiteral("c"));
    EXPECT_EQ(c.tray->adds, 2);
}

TEST(TrayIcon, OrdinaryMinimiseGoesToTheTrayWhileActive)
{
    Console c;
    c.form.showMinimized(); // inactive: an ordinary minimise stays one
    QApplication::processEvents();
    EXPECT_TRUE(c.form.isVisible());
    c.form.showNormal();

    c.icon->SetActive(true);
    c.form.showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c.form.isVisible(); }, 5000));
    EXPECT_TRUE(c.icon->InTray());
    c.doubleClick();
    EXPECT_TRUE(c.form.isVisible());
    EXPECT_FALSE(c.form.isMinimized());

    c.icon->SetVisibility(tvVisibleTaskBar | tvVisibleTaskList); // without auto-hide
    c.icon->SetActive(true);
    c.form.showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(c.form.isVisible());
    EXPECT_FALSE(c.icon->InTray());
}

TEST(TrayIcon, WithoutATrayMinimisingLeavesTheTaskBarEntry)
{
    Console c;
    c.tray->available = false;
    c.minimizeToTray();
    EXPECT_TRUE(c.form.isVisible()); // still reachable from the task bar
    EXPECT_TRUE(c.form.isMinimized());
    EXPECT_TRUE(c.icon->InTray());
    c.form.showNormal(); // the operator brings it back himself
    EXPECT_FALSE(c.icon->InTray());
    c.minimizeToTray();
    c.icon->RestoreFromTray();
    EXPECT_FALSE(c.form.isMinimized());
    EXPECT_TRUE(c.form.isVisible());
}

// A tray that appears after a fallback minimise: the next minimise to the tray must put the
// icon there before it hides the window, or nothing leads back to it.
TEST(TrayIcon, TrayThatAppearsLaterGetsTheIconBeforeTheWindowHides)
{
    Console c;
    c.tray->available = false;
    c.minimizeToTray();
    EXPECT_TRUE(c.form.isMinimized());
    EXPECT_FALSE(c.tray->shown);
    c.form.showNormal();
    ASSERT_FALSE(c.icon->InTray());
    ASSERT_TRUE(c.icon->Active()); // only the double click on the icon deactivates it

    c.tray->available = true;
    c.minimizeToTray();
    EXPECT_FALSE(c.form.isVisible());
    EXPECT_TRUE(c.tray->shown);
    c.doubleClick();
    EXPECT_TRUE(c.form.isVisible());

    // And the other way round: a tray gone since activation leaves an ordinary minimise.
    c.icon->SetActive(true);
    c.tray->available = false;
    c.icon->MinimizeToTray();
    EXPECT_TRUE(c.form.isVisible());
    EXPECT_TRUE(c.form.isMinimized());
}

// The tray's icon is the hidden window's only way back; when the tray goes (its panel closed or
// crashed), the window must come back as an ordinary minimised one with its task-bar entry.
TEST(TrayIcon, TrayThatGoesAwayGivesTheHiddenWindowBack)
{
    Console c;
    c.form.showMaximized();
    c.minimizeToTray();
    ASSERT_FALSE(c.form.isVisible());

    const int adds = c.tray->adds;
    c.tray->window = 2; // restarted while holding the window: the icon goes there again
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.tray->adds == adds + 1; }, 5000));
    EXPECT_FALSE(c.form.isVisible());

    c.tray->available = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.form.isVisible(); }, 5000));
    EXPECT_TRUE(c.form.isMinimized());
    EXPECT_TRUE(c.icon->InTray());
    // Restoring brings back the state the window had before it went to the tray.
    c.icon->RestoreFromTray();
    EXPECT_TRUE(c.form.isVisible());
    EXPECT_TRUE(c.form.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(c.form.isMinimized());
    EXPECT_FALSE(c.icon->InTray());
}

TEST(TrayIcon, OffscreenDesktopHasNoTrayAndFallsBack)
{
    QWidget form;
    form.show();
    TTrayIcon icon(&form); // the desktop's own tray
    ASSERT_FALSE(icon.TrayAvailable());
    icon.SetActive(true);
    icon.MinimizeToTray();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.isMinimized());
    icon.RestoreFromTray();
    icon.SetActive(false);
    EXPECT_FALSE(form.isMinimized());
}

// Some trays report a double click as two clicks, others as a click and a double click, others
// as both; each way makes exactly one double click.
TEST(TrayIcon, DesktopTrayClicksMakeOneDoubleClick)
{
    using R = QSystemTrayIcon::ActivationReason;
    const struct {
        const char* name;
        std::vector<R> reasons;
        int doubleClicks;
    } cases[] = {
        {"single", {R::Trigger}, 0},
        {"two clicks", {R::Trigger, R::Trigger}, 1},
        {"click and double", {R::Trigger, R::DoubleClick}, 1},
        {"both", {R::Trigger, R::Trigger, R::DoubleClick}, 1},
        {"double only", {R::DoubleClick}, 1},
        {"context menu", {R::Context, R::Context}, 0},
    };
    for (const auto& c : cases) {
        QWidget form;
        TTrayIcon icon(&form);
        int doubles = 0;
        icon.OnDblClick = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&) { ++doubles; };
        auto* tray = icon.findChild<QSystemTrayIcon*>(QStringLiteral("SystemTrayIcon"));
        ASSERT_NE(tray, nullptr);
        for (R r : c.reasons)
            emit tray->activated(r);
        EXPECT_EQ(doubles, c.doubleClicks) << c.name;
    }
}

TEST(TrayIcon, ClickFlagsActWithoutAHandler)
{
    Console c;
    c.icon->OnDblClick = nullptr;
    c.icon->SetVisibility(tvRestoreDbClick | tvMinimizeClick);
    c.icon->SetActive(true);
    c.tray->Activated(false); // single click minimises
    EXPECT_FALSE(c.form.isVisible());
    c.tray->Activated(false);
    EXPECT_FALSE(c.form.isVisible());
    c.tray->Activated(true); // double click restores
    EXPECT_TRUE(c.form.isVisible());
    EXPECT_TRUE(c.icon->Active()); // only the console's handler deactivates
}

TEST(TrayIcon, AnimationStepsThroughTheImageList)
{
    Console c;
    c.icon->SetActive(true);
    EXPECT_EQ(c.icon->IconIndex(), -1); // no image list: the icon stays still
    c.icon->SetDelay(5);
    c.icon->SetIcons({solid(Qt::red), solid(Qt::green), solid(Qt::blue)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.icon->IconIndex() == 2; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.icon->IconIndex() == 0; }, 5000));
    EXPECT_EQ(c.tray->icon.cacheKey(), c.icon->Icons().at(0).cacheKey());
    c.icon->SetActive(false);
    const int index = c.icon->IconIndex();
    QTest::qWait(50);
    EXPECT_EQ(c.icon->IconIndex(), index); // stopped with the icon
}

TEST(TrayIcon, DestroyingRemovesTheIcon)
{
    bool shown = false;
    {
        QWidget form;
        auto fake = std::make_unique<FakeTray>();
        fake->shownOutside = &shown;
        TTrayIcon icon(&form, std::move(fake));
        icon.SetActive(true);
        EXPECT_TRUE(shown);
    }
    EXPECT_FALSE(shown);
}

} // namespace
