// The install tree: `cmake --install` puts every file a desktop program needs in its place,
// and a program run from <prefix>/bin finds the catalogue in <prefix>/share/locale.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kId = QStringLiteral(ORVIK_APP_ID);

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Outcome {
    int exitCode = -1;
    QByteArray out;
};

Outcome run(const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Outcome r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput() + p.readAllStandardError();
    return r;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        prefix_ = dir_->path() + QStringLiteral("/usr/");
        installed_ = run(QStringLiteral(CMAKE_COMMAND), {"--install", ORVIK_BUILD_DIR, "--prefix", prefix_});
    }
    static void TearDownTestSuite() { delete dir_; }

    static QTemporaryDir* dir_;
    static QString prefix_;
    static Outcome installed_;
};
QTemporaryDir* InstallTest::dir_ = nullptr;
QString InstallTest::prefix_;
Outcome InstallTest::installed_;

TEST_F(InstallTest, EveryFileIsInItsPlace)
{
    ASSERT_EQ(installed_.exitCode, 0) << installed_.out.constData();
    QStringList expected = {"bin/orvik", "bin/orvik-devsim", "bin/orvik-cli", "share/orvik/README.md",
        "share/orvik/LICENSE", "share/applications/" + kId + ".desktop",
        "share/metainfo/" + kId + ".metainfo.xml", "share/icons/hicolor/scalable/apps/" + kId + ".svg",
        "share/locale/bg/LC_MESSAGES/serialport.mo", "share/doc/orvik/copyright",
        "share/doc/orvik/changelog.gz", "share/man/man1/orvik.1.gz", "share/man/man1/orvik-devsim.1.gz",
        "share/man/man1/orvik-cli.1.gz", "share/doc/orvik/examples/orvik-record@.service"};
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kId);
    for (const QString& file : expected)
        EXPECT_TRUE(QFileInfo(prefix_ + file).isFile()) << file.toStdString();
    for (const char* program : {"bin/orvik", "bin/orvik-devsim", "bin/orvik-cli"})
        EXPECT_TRUE(QFileInfo(prefix_ + program).isExecutable()) << program;
}

TEST_F(InstallTest, DesktopEntryAndMetadataNameTheProgram)
{
    ASSERT_EQ(installed_.exitCode, 0);
    const QByteArray id = kId.toUtf8();
    const QByteArray entry = contents(prefix_ + "share/applications/" + kId + ".desktop");
    const QList<QByteArray> lines = {"Name=Orvik", "Exec=orvik", "Icon=" + id,
        "Categories=Development;Electronics;Engineering;", "StartupWMClass=Orvik", "Comment[bg]="};
    for (const QByteArray& line : lines)
        EXPECT_TRUE(entry.contains(line)) << line.constData();
    const QByteArray meta = contents(prefix_ + "share/metainfo/" + kId + ".metainfo.xml");
    const QList<QByteArray> parts
        = {"<id>" + id + "</id>", "<launchable type=\"desktop-id\">" + id + ".desktop</launchable>",
            "<project_license>GPL-3.0-or-later</project_license>", "<release version=\"" ORVIK_VERSION "\"",
            "<p xml:lang=\"bg\">"};
    for (const QByteArray& part : parts)
        EXPECT_TRUE(meta.contains(part)) << part.constData();
    EXPECT_FALSE(meta.contains("@")) << "an unreplaced placeholder";
}

TEST_F(InstallTest, SimulatorTellsTheProjectVersion)
{
    ASSERT_EQ(installed_.exitCode, 0);
    for (const char* program : {"orvik-devsim", "orvik-cli"}) {
        const Outcome r = run(prefix_ + "bin/" + program, {"--version"});
        EXPECT_EQ(r.exitCode, 0) << program;
        EXPECT_EQ(r.out.trimmed(), QByteArray(program) + " " ORVIK_VERSION);
    }
}

// The probe shows the serial port's texts through the same lookup as the console.
TEST_F(InstallTest, ProgramInBinReadsTheInstalledCatalogue)
{
    ASSERT_EQ(installed_.exitCode, 0);
    const QString probe = prefix_ + "bin/" + QFileInfo(QStringLiteral(ORVIK_LOCALE_PROBE)).fileName();
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVIK_LOCALE_PROBE), probe));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    env.insert("LANGUAGE", "bg");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const Outcome r = run(probe, {}, env);
    ASSERT_EQ(r.exitCode, 0) << r.out.constData();
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(QStringLiteral("ComSetupFrm\tНастройка")))
        << r.out.constData();
}

} // namespace
