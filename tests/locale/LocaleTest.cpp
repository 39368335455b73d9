// The "serialport" catalogue: Bulgarian texts under a Bulgarian locale, the texts exactly as
// written under any other locale and without the catalogue, and a catalogue that covers every
// text the code shows.

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <clocale>
#include <gtest/gtest.h>
#include <iostream>
#include <locale.h>
#include <utility>
#include <vector>

namespace {

using TextMap = QMap<QString, QString>;

// ---- The texts as written, keyed as the probe prints them ----

constexpr const char* kErrors[23] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};
constexpr const char* kSuffix = " (win error code: %d)";

struct Caption {
    const char* key;
    const char* text;
};
constexpr Caption kCaptions[] = {
    {"ComSetupFrm", "Setup"},
    {"ComSetupFrm/GroupBox1", " Settings "},
    {"ComSetupFrm/Label1", "Port"},
    {"ComSetupFrm/Label2", "Baud rate"},
    {"ComSetupFrm/Label3", "Data bits"},
    {"ComSetupFrm/Label4", "Stop bits"},
    {"ComSetupFrm/Label5", "Parity"},
    {"ComSetupFrm/Label6", "Flow control"},
    {"ComSetupFrm/Button1", "OK"},
    {"ComSetupFrm/Button2", "Cancel"},
    {"ComSetupFrm/CustomRate#tip", "Custom baud rate"},
    {"Reason/Cannot open %1:", "Cannot open %1: %2."},
    {"Reason/%1 refused the", "%1 refused the line settings (%2 baud): %3."},
    {"Reason/The device runs", "The device runs at %1 baud, not the %2 asked for."},
    {"Reason/Your user needs",
        "Your user needs access to the device (on Debian: membership of the group \"dialout\", then log in "
        "again)."},
    {"ComTrmSetForm", "Setup"},
    {"ComTrmSetForm/GroupBox1", " ASCII Settings "},
    {"ComTrmSetForm/CheckBox1", "Echo typed charachters locally"},
    {"ComTrmSetForm/CheckBox2", "Send line feeds with carriage return"},
    {"ComTrmSetForm/CheckBox3", "Wrap lines that exceed terminal width"},
    {"ComTrmSetForm/CheckBox4", "Force incoming data to 7 bit ASCII"},
    {"ComTrmSetForm/CheckBox5", "Append line feeds to incoming carriage return"},
    {"ComTrmSetForm/GroupBox2", " Terminal Settings "},
    {"ComTrmSetForm/Label1", "Caret"},
    {"ComTrmSetForm/Label2", "Emulation"},
    {"ComTrmSetForm/Label3", "Columns"},
    {"ComTrmSetForm/Label4", "Rows"},
    {"ComTrmSetForm/Label5", "Cursor keys"},
    {"ComTrmSetForm/Button1", "OK"},
    {"ComTrmSetForm/Button2", "Cancel"},
    {"ComTrmSetForm/ShowControls", "Show control characters"},
    {"ComTrmSetForm/FitToWindow", "Fit to window"},
    {"ComTrmSetForm/ScrollbackLabel", "Scroll-back lines"},
    {"TComTerminal/CopyAction", "Copy"},
    {"TComTerminal/PasteAction", "Paste"},
    {"TComTerminal/SelectAllAction", "Select all"},
    {"TComTerminal/FindAction", "Find"},
    {"TComTerminal/ClearAction", "Clear"},
    {"TComTerminal/SaveTextAction", "Save as\u2026"},
    {"TComTerminal/FindPrevious", "Previous"},
    {"TComTerminal/FindNext", "Next"},
    {"TComTerminal/FindClose", "Close"},
    {"TComTerminal/NotFound", "Not found"},
    {"TComTerminal/PasteRefused",
        "The text cannot be sent: the character \"%1\" is not in the Windows-1251 code page."},
    {"TComTerminal/PasteAsk", "Send %1 characters to the port?"},
    {"TComTerminal/SaveFilter", "Text files (*.txt);;All files (*)"},
    {"TComTerminal/SaveFailed", "Unable to write to %1"},
};
// Setting texts, never translated. The port list is empty: the probe lists no devices.
constexpr Caption kLists[] = {
    {"ComSetupFrm/Combo1#items", ""},
    {"ComSetupFrm/Combo2#items",
        "Custom|110|300|600|1200|2400|4800|9600|14400|19200|38400|56000|57600|115200|128000|256000"},
    {"ComSetupFrm/Combo3#items", "5|6|7|8"},
    {"ComSetupFrm/Combo4#items", "1|1.5|2"},
    {"ComSetupFrm/Combo5#items", "None|Odd|Even|Mark|Space"},
    {"ComSetupFrm/Combo6#items", "Hardware|Software|None|Custom"},
    {"ComSetupFrm/CustomRate#items", "230400|460800|921600|1000000|1500000|2000000|3000000"},
    {"ComSetupFrm/Reason", ""}, // says something only after a failed open
    {"ComTrmSetForm/ComboBox1#items", "Block|Underline"},
    {"ComTrmSetForm/ComboBox2#items", "ANSI/VT100|VT52|None"},
    {"ComTrmSetForm/ComboBox3#items", "Act as terminal keys|Act as windows keys"},
};

// Every text the probe prints, with each catalogue text passed through translate.
template <class Translate> TextMap expectedTexts(Translate translate)
{
    TextMap map;
    for (const Caption& c : kCaptions)
        map.insert(QString::fromLatin1(c.key), translate(c.text));
    for (const Caption& c : kLists)
        map.insert(QString::fromLatin1(c.key), QString::fromLatin1(c.text));
    const QString suffix = translate(kSuffix).replace(QLatin1String("%d"), QLatin1String("2"));
    for (int n = 1; n <= 23; ++n) {
        map.insert(QStringLiteral("EComPort/%1").arg(n), translate(kErrors[n - 1]));
        map.insert(QStringLiteral("EComPort/%1/2").arg(n), translate(kErrors[n - 1]) + suffix);
    }
    map.insert(QStringLiteral("EComPort/1/2/what"), map.value(QStringLiteral("EComPort/1/2")));
    return map;
}

TextMap englishTexts()
{
    return expectedTexts([](const char* text) { return QString::fromUtf8(text); });
}

// ---- Catalogue files ----

struct PoEntry {
    QString msgstr;
    bool fuzzy = false;
    bool cFormat = false;
};
using Catalogue = QMap<QString, PoEntry>; // by msgid; the header ("") left out

QString unquote(const QString& line)
{
    const int first = line.indexOf(QLatin1Char('"'));
    const int last = line.lastIndexOf(QLatin1Char('"'));
    QString out;
    for (int i = first + 1; i < last; ++i) {
        QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < last) {
            const QChar e = line[++i];
            c = e == QLatin1Char('n') ? QChar(u'\n') : e == QLatin1Char('t') ? QChar(u'\t') : e;
        }
        out += c;
    }
    return out;
}

// The subset of the PO format that msgmerge writes for this domain: flags, msgid, msgstr,
// continued strings; obsolete (#~) entries are skipped.
Catalogue readCatalogue(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << path.toStdString();
    Catalogue catalogue;
    PoEntry entry;
    QString msgid;
    QString* current = nullptr;
    bool haveId = false;
    const auto finish = [&] {
        if (haveId && !msgid.isEmpty())
            catalogue.insert(msgid, entry);
        entry = PoEntry();
        msgid.clear();
        haveId = false;
        current = nullptr;
    };
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("#,"))) {
            finish();
            entry.fuzzy = line.contains(QLatin1String("fuzzy"));
            entry.cFormat
                = line.contains(QLatin1String("c-format")) && !line.contains(QLatin1String("no-c-format"));
        } else if (line.startsWith(QLatin1String("msgid "))) {
            if (current)
                finish();
            msgid = unquote(line);
            haveId = true;
            current = &msgid;
        } else if (line.startsWith(QLatin1String("msgstr "))) {
            entry.msgstr = unquote(line);
            current = &entry.msgstr;
        } else if (line.startsWith(QLatin1Char('"')) && current) {
            *current += unquote(line);
        } else if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            if (current == &entry.msgstr)
                finish();
        }
    }
    finish();
    return catalogue;
}

QString sourcePath(const char* name)
{
    return QStringLiteral(ORVIK_LOCALE_SOURCE_DIR "/") + QLatin1String(name);
}

const Catalogue& bulgarian()
{
    static const Catalogue catalogue = readCatalogue(sourcePath("bg.po"));
    return catalogue;
}

QString toBulgarian(const char* text)
{
    const auto it = bulgarian().constFind(QString::fromUtf8(text));
    return it == bulgarian().cend() ? QStringLiteral("<no translation of '%1'>").arg(QString::fromUtf8(text))
                                    : it->msgstr;
}

// ---- Running the probe ----

using Vars = std::vector<std::pair<const char*, const char*>>;
struct Env {
    const char* name;
    Vars vars;
};

// Runs the probe with no locale variables but the given ones.
TextMap runProbe(const QString& program, const Vars& vars)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys())
        if (key == QLatin1String("LANG") || key == QLatin1String("LANGUAGE")
            || key.startsWith(QLatin1String("LC_")))
            env.remove(key);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const auto& [key, value] : vars)
        env.insert(QString::fromLatin1(key), QString::fromLatin1(value));

    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(program, {});
    const bool finished = probe.waitForFinished(60000);
    EXPECT_TRUE(finished) << "probe did not finish: " << program.toStdString();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();

    TextMap map;
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const int tab = line.indexOf(QLatin1Char('\t'));
        if (tab > 0)
            map.insert(line.left(tab), line.mid(tab + 1));
    }
    return map;
}

// Compares key by key, so a failure names the text that differs.
void expectTexts(const TextMap& actual, const TextMap& expected, const char* setting)
{
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        EXPECT_TRUE(actual.contains(it.key())) << setting << ": no " << it.key().toStdString();
        EXPECT_EQ(actual.value(it.key()).toStdString(), it.value().toStdString())
            << setting << ": " << it.key().toStdString();
    }
    for (auto it = actual.cbegin(); it != actual.cend(); ++it)
        EXPECT_TRUE(expected.contains(it.key())) << setting << ": unexpected text " << it.key().toStdString();
}

const QString kProbe = QStringLiteral(ORVIK_LOCALE_PROBE);

bool localeInstalled(const char* name)
{
    const locale_t l = newlocale(LC_ALL_MASK, name, locale_t(nullptr));
    if (l)
        freelocale(l);
    return l != locale_t(nullptr);
}

// Compiles <name>.UTF-8 into dir (for LOCPATH) from the C library's locale sources.
bool compileLocale(const QString& dir, const QString& name)
{
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
        {QStringLiteral("-i"), name, QStringLiteral("-f"), QStringLiteral("UTF-8"),
            dir + QLatin1Char('/') + name + QStringLiteral(".UTF-8")});
    return localedef.waitForFinished(90000) && localedef.exitStatus() == QProcess::NormalExit
        && localedef.exitCode() == 0;
}

bool hasCyrillic(const QString& text)
{
    return std::any_of(
        text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x0400 && c.unicode() <= 0x04FF; });
}

} // namespace

TEST(LocaleTest, BulgarianLocaleShowsBulgarianTexts)
{
    // C.UTF-8 is built into the C library; LANGUAGE then chooses the catalogue language, which
    // GNU gettext honours for every locale except plain C.
    std::vector<Env> settings = {
        {"LANGUAGE=bg, LC_ALL=C.UTF-8", {{"LANGUAGE", "bg"}, {"LC_ALL", "C.UTF-8"}}},
        {"LANGUAGE=bg_BG, LANG=C.UTF-8", {{"LANGUAGE", "bg_BG"}, {"LANG", "C.UTF-8"}}},
        {"LANGUAGE=de:bg, LC_MESSAGES=C.UTF-8", {{"LANGUAGE", "de:bg"}, {"LC_MESSAGES", "C.UTF-8"}}},
    };
    // The Bulgarian locale alone is enough: the system's when it is generated, else one compiled
    // into a scratch folder from the system's locale sources (nothing is installed).
    QTemporaryDir scratch;
    const QByteArray locpath = QFile::encodeName(scratch.path());
    if (localeInstalled("bg_BG.UTF-8")) {
        settings.push_back({"LANG=bg_BG.UTF-8", {{"LANG", "bg_BG.UTF-8"}}});
        settings.push_back({"LC_ALL=bg_BG.UTF-8, LANGUAGE=", {{"LC_ALL", "bg_BG.UTF-8"}, {"LANGUAGE", ""}}});
    } else if (compileLocale(scratch.path(), QStringLiteral("bg_BG"))) {
        settings.push_back(
            {"LANG=bg_BG.UTF-8 (scratch)", {{"LOCPATH", locpath.constData()}, {"LANG", "bg_BG.UTF-8"}}});
        settings.push_back({"LC_MESSAGES=bg_BG.UTF-8 (scratch)",
            {{"LOCPATH", locpath.constData()}, {"LC_MESSAGES", "bg_BG.UTF-8"}}});
    } else {
        // The LANGUAGE settings above still cover the catalogue.
        std::cout << "note: no bg_BG.UTF-8 locale and no locale sources; LANG=bg_BG.UTF-8 not tried\n";
    }
    const TextMap expected = expectedTexts(toBulgarian);
    for (const Env& setting : settings) {
        const TextMap actual = runProbe(kProbe, setting.vars);
        expectTexts(actual, expected, setting.name);
        EXPECT_EQ(actual.value(QStringLiteral("EComPort/1/2")).toStdString(),
            "Не може да се отвори COM портът (системен код на грешка: 2)")
            << setting.name;
    }
}

TEST(LocaleTest, OtherLocalesKeepTextsAsWritten)
{
    const Env settings[] = {
        {"no locale variables", {}},
        {"LC_ALL=C.UTF-8", {{"LC_ALL", "C.UTF-8"}}},
        {"LANG=C.UTF-8, LANGUAGE=de:fr", {{"LANG", "C.UTF-8"}, {"LANGUAGE", "de:fr"}}},
        {"LANGUAGE=en, LC_ALL=C.UTF-8", {{"LANGUAGE", "en"}, {"LC_ALL", "C.UTF-8"}}},
        // Plain C: gettext ignores LANGUAGE, although Qt moves the character type to UTF-8.
        {"LANGUAGE=bg, LC_ALL=C", {{"LANGUAGE", "bg"}, {"LC_ALL", "C"}}},
        {"LANGUAGE=bg, LC_ALL=POSIX", {{"LANGUAGE", "bg"}, {"LC_ALL", "POSIX"}}},
        // A locale that is not installed falls back to C.
        {"LANGUAGE=bg, LC_ALL=xx_YY.UTF-8", {{"LANGUAGE", "bg"}, {"LC_ALL", "xx_YY.UTF-8"}}},
    };
    const TextMap expected = englishTexts();
    for (const Env& setting : settings) {
        const TextMap actual = runProbe(kProbe, setting.vars);
        expectTexts(actual, expected, setting.name);
        EXPECT_EQ(actual.value(QStringLiteral("EComPort/1/2")).toStdString(),
            "Unable to open com port (win error code: 2)")
            << setting.name;
    }
}

TEST(LocaleTest, WithoutCatalogueTextsStayAsWritten)
{
    // The same program in a folder with no locale/ beside it.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("orvik_locale_probe"));
    ASSERT_TRUE(QFile::copy(kProbe, copy));
    ASSERT_TRUE(QFile::setPermissions(copy, QFile::permissions(kProbe)));
    ASSERT_FALSE(QDir(dir.path()).exists(QStringLiteral("locale")));

    expectTexts(runProbe(copy, {{"LANGUAGE", "bg"}, {"LC_ALL", "C.UTF-8"}}), englishTexts(), "no catalogue");
    // A catalogue folder without Bulgarian changes nothing either.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("locale/de/LC_MESSAGES")));
    expectTexts(
        runProbe(copy, {{"LANGUAGE", "bg"}, {"LC_ALL", "C.UTF-8"}}), englishTexts(), "no bg catalogue");
}

TEST(LocaleCatalogueTest, EveryTextOfTheCodeIsTranslated)
{
    const Catalogue pot = readCatalogue(sourcePath("serialport.pot"));
    const Catalogue& po = bulgarian();
    ASSERT_FALSE(pot.isEmpty());

    // What the code shows untranslated must be in the template (else update-pot.sh was not run).
    const TextMap shown = runProbe(kProbe, {{"LC_ALL", "C.UTF-8"}});
    QSet<QString> texts;
    for (const Caption& c : kCaptions)
        texts.insert(shown.value(QString::fromLatin1(c.key)));
    for (int n = 1; n <= 23; ++n)
        texts.insert(shown.value(QStringLiteral("EComPort/%1").arg(n)));
    for (const QString& text : texts)
        EXPECT_TRUE(pot.contains(text)) << "not in serialport.pot: '" << text.toStdString() << "'";
    EXPECT_TRUE(pot.contains(QString::fromLatin1(kSuffix)));
    texts.insert(QString::fromLatin1(kSuffix));
    // And nothing the code no longer shows.
    for (auto it = pot.cbegin(); it != pot.cend(); ++it)
        EXPECT_TRUE(texts.contains(it.key()))
            << "serialport.pot has a text the code does not show: '" << it.key().toStdString() << "'";

    for (auto it = pot.cbegin(); it != pot.cend(); ++it) {
        const std::string id = it.key().toStdString();
        ASSERT_TRUE(po.contains(it.key())) << "bg.po lacks '" << id << "'";
        const PoEntry& entry = po[it.key()];
        EXPECT_FALSE(entry.msgstr.isEmpty()) << "untranslated: '" << id << "'";
        EXPECT_FALSE(entry.fuzzy) << "fuzzy: '" << id << "'";
        // The Bulgarian form reads in Bulgarian; only "OK" is the same in both.
        if (it.key() != QLatin1String("OK")) {
            EXPECT_TRUE(hasCyrillic(entry.msgstr))
                << "'" << id << "' -> '" << entry.msgstr.toStdString() << "'";
        }
        // Captions keep their framing blanks (the group boxes' " Settings ").
        EXPECT_EQ(it.key().startsWith(QLatin1Char(' ')), entry.msgstr.startsWith(QLatin1Char(' '))) << id;
        EXPECT_EQ(it.key().endsWith(QLatin1Char(' ')), entry.msgstr.endsWith(QLatin1Char(' '))) << id;
        EXPECT_EQ(it.key().count(QLatin1String("%d")), entry.msgstr.count(QLatin1String("%d"))) << id;
    }
}
