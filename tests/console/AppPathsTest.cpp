// The choice of folders: an installed layout writes in the user's XDG folders, anything else
// keeps every file in the program folder.

#include "console/core/AppPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Layout {
    const char* name;
    const char* executable; // relative to the temporary root
    std::vector<const char*> dirs; // made before the paths are chosen
    bool installed;
};

class AppPathsTest : public ::testing::Test {
protected:
    QString root() const { return dir_.path() + QLatin1Char('/'); }
    TAppPaths::Environment env() const
    {
        return [this](const char* name) { return vars_.value(QString::fromLatin1(name)); };
    }
    void make(const char* relative) const
    {
        ASSERT_TRUE(QDir().mkpath(root() + QString::fromLatin1(relative)));
    }

    QTemporaryDir dir_;
    QMap<QString, QString> vars_;
};

TEST_F(AppPathsTest, InstalledLayoutIsRecognisedOnlyWhole)
{
    const Layout layouts[] = {
        {"installed", "usr/bin/orvik", {"usr/bin", "usr/share/orvik"}, true},
        {"installed under a prefix", "opt/o/bin/orvik", {"opt/o/bin", "opt/o/share/orvik"}, true},
        {"build folder", "build/bin/orvik", {"build/bin", "build/bin/locale"}, false},
        {"bin without share/orvik", "local/bin/orvik", {"local/bin", "local/share/locale"}, false},
        {"share/orvik beside a folder not named bin", "app/orvik", {"app", "share/orvik"}, false},
    };
    vars_[QStringLiteral("HOME")] = root() + QStringLiteral("home");
    for (const Layout& l : layouts) {
        for (const char* d : l.dirs)
            make(d);
        const TAppPaths paths = TAppPaths::forExecutable(root() + QString::fromLatin1(l.executable), env());
        const QString programFolder
            = QFileInfo(root() + QString::fromLatin1(l.executable)).absolutePath() + "/";
        EXPECT_EQ(paths.installed(), l.installed) << l.name;
        EXPECT_EQ(paths.programFolder(), programFolder) << l.name;
        if (l.installed) {
            EXPECT_EQ(paths.settingsFile(), root() + "home/.config/Orvik/Orvik.ini") << l.name;
            EXPECT_EQ(paths.logFile(), root() + "home/.local/share/Orvik/OrvikLog.txt") << l.name;
            EXPECT_EQ(paths.dataFolder(), root() + "home/.local/share/Orvik/") << l.name;
        } else {
            EXPECT_EQ(paths.settingsFile(), programFolder + "Orvik.ini") << l.name;
            EXPECT_EQ(paths.logFile(), programFolder + "OrvikLog.txt") << l.name;
            EXPECT_EQ(paths.dataFolder(), programFolder) << l.name;
        }
    }
}

TEST_F(AppPathsTest, XdgVariablesLeadWhenAbsolute)
{
    make("usr/bin");
    make("usr/share/orvik");
    vars_[QStringLiteral("HOME")] = root() + QStringLiteral("home");
    vars_[QStringLiteral("XDG_CONFIG_HOME")] = root() + QStringLiteral("cfg/");
    vars_[QStringLiteral("XDG_DATA_HOME")] = root() + QStringLiteral("data");
    TAppPaths paths = TAppPaths::forExecutable(root() + "usr/bin/orvik", env());
    EXPECT_EQ(paths.settingsFile(), root() + "cfg/Orvik/Orvik.ini");
    EXPECT_EQ(paths.logFile(), root() + "data/Orvik/OrvikLog.txt");

    // The base directory rules ignore relative paths.
    vars_[QStringLiteral("XDG_CONFIG_HOME")] = QStringLiteral("cfg");
    vars_[QStringLiteral("XDG_DATA_HOME")] = QStringLiteral("./data");
    paths = TAppPaths::forExecutable(root() + "usr/bin/orvik", env());
    EXPECT_EQ(paths.settingsFile(), root() + "home/.config/Orvik/Orvik.ini");
    EXPECT_EQ(paths.logFile(), root() + "home/.local/share/Orvik/OrvikLog.txt");
}

TEST_F(AppPathsTest, UserFoldersAreCreated)
{
    make("usr/bin");
    make("usr/share/orvik");
    vars_[QStringLiteral("HOME")] = root() + QStringLiteral("home");
    const TAppPaths paths = TAppPaths::forExecutable(root() + "usr/bin/orvik", env());
    EXPECT_FALSE(QFileInfo(paths.settingsFolder()).exists());
    ASSERT_TRUE(paths.createFolders());
    EXPECT_TRUE(QFileInfo(paths.settingsFolder()).isDir());
    EXPECT_TRUE(QFileInfo(paths.dataFolder()).isDir());
    EXPECT_TRUE(paths.createFolders()) << "folders that exist already";

    // A home that is a file cannot hold them.
    make("other/bin");
    make("other/share/orvik");
    QFile blocker(root() + "blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    vars_[QStringLiteral("HOME")] = root() + QStringLiteral("blocked");
    EXPECT_FALSE(TAppPaths::forExecutable(root() + "other/bin/orvik", env()).createFolders());
}

} // namespace
