// The main window in an installed layout: settings read from and written to the user's
// configuration folder, the defaults of the log and the archive and the file dialogs in the
// user's folders.

#include "console/MainUnit.h"

#include "console/ArchivePage.h"
#include "console/DataLogSwitch.h"
#include "console/SetupPage.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(UserFoldersWindow, InstalledLayoutUsesTheXdgFolders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path() + QLatin1Char('/');
    ASSERT_TRUE(QDir().mkpath(root + "usr/bin"));
    ASSERT_TRUE(QDir().mkpath(root + "usr/share/orvik"));
    QMap<QString, QString> vars{{"HOME", root + "home"}, {"XDG_CONFIG_HOME", root + "cfg"}};
    const TAppPaths paths = TAppPaths::forExecutable(
        root + "usr/bin/orvik", [&](const char* name) { return vars.value(QString::fromLatin1(name)); });
    ASSERT_TRUE(paths.createFolders());

    QStringList dialogFolders;
    {
        TForm1 form(paths);
        form.FileDialog = [&](const QString&, const QString& folder, const QString&, bool) {
            dialogFolders << folder;
            return QString();
        };
        EXPECT_EQ(form.SettingsPath(), root + "cfg/Orvik/Orvik.ini");
        EXPECT_EQ(form.Setup->LogFile->text(), root + "home/.local/share/Orvik/OrvikLog.txt");
        EXPECT_EQ(form.Archive->ExportFolder, root + "home/.local/share/Orvik/");
        form.Settings->BitBtn5Click();
        form.Settings->BitBtn6Click();
        form.DataLog->BitBtn1Click();
        form.close();
    }
    EXPECT_EQ(dialogFolders,
        QStringList({root + "cfg/Orvik/", root + "cfg/Orvik/", root + "home/.local/share/Orvik/"}));
    QFile saved(root + "cfg/Orvik/Orvik.ini");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray settings = saved.readAll();
    EXPECT_TRUE(
        settings.contains("File=" + QFile::encodeName(root) + "home/.local/share/Orvik/OrvikArchive.db"))
        << settings.constData();
    EXPECT_FALSE(QFile::exists(root + "usr/bin/Orvik.ini"));
}

} // namespace
