#include "widgets/core/CalcEngine.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// Keys as the keypad sends them: '\b' backspace, '\r' Enter, '\x1b' Escape.
struct Probe {
    explicit Probe(const QLocale& locale = QLocale::c())
        : e(locale)
    {
        e.OnBeep = [this] { ++beeps; };
        e.OnDisplayChange = [this] { ++displayChanges; };
    }
    const QString& keys(const char* k)
    {
        for (; *k; ++k)
            e.CalcKey(QChar(char16_t(static_cast<unsigned char>(*k))));
        return e.DisplayText();
    }
    TCalcEngine e;
    int beeps = 0;
    int displayChanges = 0;
};

struct Case {
    const char* keys;
    const char* display;
    TCalcState status;
};

TEST(CalcEngine, KeySequences)
{
    const Case cases[] = {
        {"2+3=", "5", cstNewNumber},
        {"2+3+4=", "9", cstNewNumber}, // evaluated left to right at each operator
        {"2+3*4=", "20", cstNewNumber}, // no precedence
        {"50+10%", "55", cstNewNumber}, // percent of the left operand
        {"50-10%", "45", cstNewNumber}, {"50*10%", "5", cstNewNumber}, // percent as a factor
        {"50/10%", "500", cstNewNumber},
        {"2*=", "2", cstNewNumber}, // an operator right after another evaluates nothing
        {"2+*3=", "6", cstNewNumber}, // the last operator wins
        {"10-4=", "6", cstNewNumber}, {"7/2=", "3.5", cstNewNumber},
        {"1/3=", "0.333333333333333", cstNewNumber}, {"2+3\r", "5", cstNewNumber}, // carriage return is "="
        {"3=4", "4", cstEntering}, // a digit after a result starts a new number
        {"2+3=+1=", "6", cstNewNumber}, {"9Q", "3", cstNewNumber}, {"2Q", "1.4142135623731", cstNewNumber},
        {"4R", "0.25", cstNewNumber}, {"5_", "-5", cstEntering}, {"5_3", "-53", cstEntering},
        {"5__", "5", cstEntering}, {"0_", "0", cstEntering}, // no "-0"
        {"5_\b", "0", cstEntering}, {"123\b", "12", cstEntering}, {"7\b", "0", cstEntering},
        {"7\b\b", "0", cstEntering}, {"1.5+1.5=", "3", cstNewNumber},
        {"1..5", "1.5", cstEntering}, // a second point is ignored
        {",5", "0.5", cstEntering}, // "," and "." both mean the separator
        {"007", "7", cstEntering}, {".", "0.", cstEntering}, {"1/100000=", "0.00001", cstNewNumber},
        {"1/1000000=", "1E-6", cstNewNumber}, {"99999999*99999999=", "9.9999998E15", cstNewNumber},
        {"5/0=", "Error", cstError}, {"0R", "Error", cstError}, {"4_Q", "Error", cstError},
        {"5/0=1+2.Q_R\b", "Error", cstError}, // every key but C and Escape is ignored
        {"5/0=C", "0", cstNewNumber}, {"5/0=c", "0", cstNewNumber}, {"5/0=\x1b", "0", cstNewNumber},
        {"5/0=C2+2=", "4", cstNewNumber},
        {"12+\x1b"
         "3=",
            "3", cstNewNumber}, // clearing drops the pending operator
        {"x?", "0", cstNewNumber}, // unknown keys do nothing
    };
    for (const auto& c : cases) {
        Probe p;
        EXPECT_EQ(p.keys(c.keys), QString::fromLatin1(c.display)) << c.keys;
        EXPECT_EQ(p.e.Status(), c.status) << c.keys;
    }
}

TEST(CalcEngine, ErrorsBeepAndDisplayValueIsZero)
{
    Probe p;
    p.keys("5/0=");
    EXPECT_EQ(p.beeps, 1);
    EXPECT_EQ(p.e.DisplayValue(), 0);
    p.keys("123");
    EXPECT_EQ(p.beeps, 1); // ignored keys are not refused keys
    EXPECT_FALSE(p.e.Confirm());
    EXPECT_EQ(p.beeps, 2);
    p.e.SetBeepOnError(false);
    EXPECT_FALSE(p.e.Confirm());
    EXPECT_EQ(p.beeps, 2);
    p.keys("C");
    EXPECT_TRUE(p.e.Confirm());
}

TEST(CalcEngine, OverflowIsAnError)
{
    Probe p;
    p.e.Paste(QStringLiteral("1E308"));
    p.keys("*10=");
    EXPECT_EQ(p.e.DisplayText(), QStringLiteral("Error"));
    EXPECT_EQ(p.e.Status(), cstError);
}

TEST(CalcEngine, MemoryOverflowIsAnError)
{
    Probe p;
    p.e.Paste(QStringLiteral("1E308"));
    p.e.MemoryStore();
    p.e.MemoryAdd();
    EXPECT_EQ(p.e.Status(), cstError);
    EXPECT_EQ(p.e.Memory(), 1e308);
}

TEST(CalcEngine, PrecisionLimitsTypedCharacters)
{
    Probe p; // precision 15
    EXPECT_EQ(p.keys("123456789012345"), QStringLiteral("123456789012345"));
    EXPECT_EQ(p.beeps, 0);
    EXPECT_EQ(p.keys("6"), QStringLiteral("123456789012345"));
    EXPECT_EQ(p.beeps, 1);

    Probe d; // the separator counts as a character
    EXPECT_EQ(d.keys("1.234567890123456"), QStringLiteral("1.2345678901234"));
    EXPECT_EQ(d.beeps, 2);

    Probe m; // a leading minus does not
    m.keys("1_");
    EXPECT_EQ(m.keys("23456789012345"), QStringLiteral("-123456789012345"));
    EXPECT_EQ(m.beeps, 0);
    m.keys("6");
    EXPECT_EQ(m.beeps, 1);

    for (int precision : {0, 1, 2}) { // at least two digits
        Probe s;
        s.e.SetPrecision(precision);
        EXPECT_EQ(s.keys("123"), QStringLiteral("12")) << precision;
        EXPECT_EQ(s.beeps, 1);
        EXPECT_EQ(s.keys("+1="), QStringLiteral("13"));
        EXPECT_EQ(s.keys("*10="), QStringLiteral("1.3E2"));
        s.keys("C");
        EXPECT_EQ(s.keys("1/3="), QStringLiteral("0.33"));
    }
}

TEST(CalcEngine, FormatsGeneralWithSignificantDigits)
{
    struct F {
        double v;
        int precision;
        const char* text;
    };
    const F cases[] = {
        {0, 15, "0"}, {-0.0, 15, "0"}, {1, 15, "1"}, {-2.5, 15, "-2.5"}, {0.1 + 0.2, 15, "0.3"},
        {1e-5, 15, "0.00001"}, {1.5e-6, 15, "1.5E-6"}, {123456789012345.0, 15, "123456789012345"},
        {1234567890123456.0, 15, "1.23456789012346E15"}, {1e300, 15, "1E300"}, {-1.25e-300, 15, "-1.25E-300"},
        {100, 2, "1E2"}, {99.96, 2, "1E2"}, // rounding carries into the exponent
        {99, 2, "99"}, {0.125, 2, "0.13"},
        {1.0 / 3, 20, "0.33333333333333331"}, // a double shows no more than 17 digits
    };
    for (const auto& c : cases) {
        TCalcEngine e(QLocale::c());
        e.SetPrecision(c.precision);
        EXPECT_EQ(e.FormatValue(c.v), QString::fromLatin1(c.text)) << c.v << " @" << c.precision;
    }
}

TEST(CalcEngine, ExponentFormTakesNoMoreDigits)
{
    Probe p;
    p.e.SetMemory(1e20);
    p.e.MemoryRecall();
    EXPECT_EQ(p.e.Status(), cstEntering);
    EXPECT_EQ(p.keys("5."), QStringLiteral("1E20"));
}

// Backspace on a number in exponent form clears the exponent whole: taking one of its digits
// would change the magnitude by orders without the operator seeing why.
TEST(CalcEngine, BackspaceClearsTheExponentWhole)
{
    const struct {
        double value;
        const char* before;
        const char* after;
    } cases[] = {
        {1e-11, "1E-11", "1"},
        {1e20, "1E20", "1"},
        {-1.5e-300, "-1.5E-300", "-1.5"},
        {1e-7, "1E-7", "1"},
    };
    for (const auto& c : cases) {
        Probe p;
        p.e.SetMemory(c.value);
        p.e.MemoryRecall();
        ASSERT_EQ(p.e.DisplayText(), QString::fromLatin1(c.before));
        EXPECT_EQ(p.keys("\b"), QString::fromLatin1(c.after)) << c.before;
        EXPECT_EQ(p.e.Status(), cstEntering);
    }
}

TEST(CalcEngine, Memory)
{
    Probe p;
    int memoryChanges = 0;
    p.e.OnMemoryChange = [&] { ++memoryChanges; };
    p.keys("12");
    p.e.MemoryStore();
    EXPECT_EQ(p.e.Memory(), 12);
    EXPECT_EQ(p.e.Status(), cstNewNumber);
    p.keys("C");
    p.e.MemoryRecall();
    EXPECT_EQ(p.e.DisplayText(), QStringLiteral("12"));
    EXPECT_EQ(p.keys("3"), QStringLiteral("123")); // recalled number is extended
    p.e.MemoryAdd();
    EXPECT_EQ(p.e.Memory(), 135);
    EXPECT_EQ(p.keys("1"), QStringLiteral("1")); // memory add finished the number
    p.e.MemoryClear();
    EXPECT_EQ(p.e.Memory(), 0);
    EXPECT_EQ(memoryChanges, 3);

    p.keys("C12");
    p.e.MemoryStore();
    p.keys("/0=");
    p.e.MemoryStore(); // ignored in the error state
    p.e.MemoryAdd();
    p.e.MemoryRecall();
    EXPECT_EQ(p.e.Memory(), 12);
    EXPECT_EQ(p.e.DisplayText(), QStringLiteral("Error"));
    p.e.MemoryClear(); // works in any state
    EXPECT_EQ(p.e.Memory(), 0);
}

TEST(CalcEngine, ConfirmNormalisesTheDisplay)
{
    Probe p;
    p.keys("1.50");
    EXPECT_TRUE(p.e.Confirm());
    EXPECT_EQ(p.e.DisplayText(), QStringLiteral("1.5"));
    Probe z;
    z.keys("0.");
    EXPECT_TRUE(z.e.Confirm());
    EXPECT_EQ(z.e.DisplayText(), QStringLiteral("0"));
}

TEST(CalcEngine, KeyHookChangesAndCancelsKeys)
{
    Probe p;
    QList<QChar> seen;
    p.e.OnCalcKey = [&](QChar& k) {
        seen << k;
        if (k == QChar('X'))
            k = QChar('*');
        else if (k == QChar('9'))
            k = QChar(0);
    };
    EXPECT_EQ(p.keys("6x79="), QStringLiteral("42"));
    EXPECT_EQ(seen.value(1), QChar('X')); // upper-cased before the hook
    p.keys("/0=5");
    EXPECT_EQ(seen.last(), QChar(0)); // in the error state the hook sees NUL
}

TEST(CalcEngine, DisplayChangeOnlyForNewComputedTexts)
{
    Probe p;
    QStringList texts;
    p.e.OnTextChange = [&](const QString& t) { texts << t; };
    p.keys("12");
    EXPECT_EQ(p.displayChanges, 0); // typing is not a computed value
    p.keys("+3=");
    EXPECT_EQ(p.displayChanges, 1);
    p.keys("=");
    EXPECT_EQ(p.displayChanges, 1);
    p.keys("C");
    EXPECT_EQ(p.displayChanges, 2);
    p.keys("C");
    EXPECT_EQ(p.displayChanges, 2); // same text, no event
    EXPECT_EQ(texts, (QStringList{"1", "12", "0", "3", "15", "0"}));
}

TEST(CalcEngine, LocaleDecimalSeparator)
{
    Probe p(QLocale(QLocale::Bulgarian, QLocale::Bulgaria));
    ASSERT_EQ(p.e.DecimalSeparator(), QChar(','));
    EXPECT_EQ(p.keys("7/2="), QStringLiteral("3,5"));
    EXPECT_EQ(p.keys("C1.5+1,5="), QStringLiteral("3"));
    EXPECT_EQ(p.keys("C1,25"), QStringLiteral("1,25"));
    EXPECT_DOUBLE_EQ(p.e.DisplayValue(), 1.25);
    EXPECT_EQ(p.keys("C1/1000000="), QStringLiteral("1E-6"));
    p.e.Paste(QStringLiteral("12,5 ") + p.e.Locale().currencySymbol());
    EXPECT_EQ(p.e.DisplayText(), QStringLiteral("12,5"));
}

TEST(CalcEngine, ClipboardKeys)
{
    Probe p(QLocale(QLocale::German, QLocale::Germany));
    QString copied;
    std::optional<QString> clipboard;
    p.e.OnCopy = [&](const QString& t) { copied = t; };
    p.e.OnPaste = [&] { return clipboard; };
    p.keys("12,5\x03");
    EXPECT_EQ(copied, QStringLiteral("12,5"));

    p.keys("\x16"); // nothing on the clipboard: unchanged
    EXPECT_EQ(p.e.DisplayText(), QStringLiteral("12,5"));

    const struct {
        QString text;
        const char* display;
    } pastes[] = {
        {QStringLiteral("  3,25 \u20AC "), "3,25"},
        {QStringLiteral("\u20AC1.234,5"), "1234,5"},
        {QStringLiteral("-7"), "-7"},
        {QStringLiteral("abc"), "0"},
        {QStringLiteral("inf"), "0"},
        {QString(), "0"},
    };
    for (const auto& c : pastes) {
        p.keys("C9");
        clipboard = c.text;
        p.keys("\x16");
        EXPECT_EQ(p.e.DisplayText(), QString::fromLatin1(c.display)) << c.text.toStdString();
        EXPECT_EQ(p.e.Status(), cstEntering); // paste leaves the status alone
    }
    p.keys("C9");
    clipboard = QStringLiteral("5");
    EXPECT_EQ(p.keys("\x16"
                     "1"),
        QStringLiteral("51")); // typing goes on after a paste
}

// Random key sequences: the engine never leaves a display that does not read as a number
// outside the error state, and the error state always shows "Error".
TEST(CalcEngine, RandomKeySequencesKeepTheDisplayConsistent)
{
    const QString alphabet = QStringLiteral("0123456789_.,/*-+Q%R=C\b\r\x1b\x03\x16xM");
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Bulgarian, QLocale::Bulgaria)}) {
        std::mt19937 rng(1234);
        for (int run = 0; run < 2000; ++run) {
            Probe p(locale);
            p.e.SetPrecision(int(rng() % 20));
            std::optional<QString> clipboard;
            p.e.OnCopy = [&](const QString& t) { clipboard = t; };
            p.e.OnPaste = [&] { return clipboard; };
            QString typed;
            for (int i = 0; i < 60; ++i) {
                const QChar k = alphabet.at(qsizetype(rng() % std::uint32_t(alphabet.size())));
                typed += k;
                if (rng() % 16 == 0)
                    p.e.MemoryRecall();
                else if (rng() % 16 == 0)
                    p.e.MemoryAdd();
                p.e.CalcKey(k);
                const QString& t = p.e.DisplayText();
                ASSERT_FALSE(t.isEmpty()) << typed.toStdString();
                if (p.e.Status() == cstError) {
                    ASSERT_EQ(t, QStringLiteral("Error")) << typed.toStdString();
                    continue;
                }
                QString plain = t;
                plain.replace(p.e.DecimalSeparator(), QChar('.'));
                bool ok = false;
                const double v = plain.toDouble(&ok);
                ASSERT_TRUE(ok) << typed.toStdString() << " -> " << t.toStdString();
                ASSERT_TRUE(std::isfinite(v));
                ASSERT_EQ(v, p.e.DisplayValue());
                ASSERT_TRUE(std::isfinite(p.e.Memory()));
            }
        }
    }
}

} // namespace
