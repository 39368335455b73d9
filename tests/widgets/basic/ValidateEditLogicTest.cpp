#include "widgets/core/ValidateEditLogic.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using validate_edit::filterText;
using validate_edit::isValidChar;
using validate_edit::Model;
using validate_edit::parseInteger;

namespace {

const QString kDigits = validate_edit::kIntegerCheckChars;

bool validInt(QChar c, const char* text, int pos, bool sel = false)
{
    return isValidChar(dfInteger, kDigits, c, QString::fromLatin1(text), pos, sel);
}

// A model wired to a fake window that records what it was told.
struct FakeEdit {
    QString shown;
    int writes = 0;
    int changes = 0;
    std::vector<TColor> colours;
    Model model;

    FakeEdit()
    {
        model.setHost({
            .shownText = [this] { return shown; },
            .setShownText =
                [this](const QString& s) {
                    shown = s;
                    ++writes;
                    // The window reports its own change back, as a line edit does.
                    model.operatorChanged(s);
                },
            .setFontColor = [this](TColor c) { colours.push_back(c); },
            .valueChanged = [this] { ++changes; },
        });
    }

    // The operator types over the box: raw text lands in EditText.
    void type(const QString& s)
    {
        shown = s;
        model.operatorChanged(s);
    }
};

} // namespace

TEST(ValidateEditFilter, TypingRulesForIntegers)
{
    struct Case {
        char c;
        const char* text;
        int pos;
        bool selection;
        bool valid;
    };
    const Case cases[] = {
        {'7', "", 1, false, true},
        {'0', "12", 3, false, true},
        {'a', "12", 3, false, false},
        {'-', "5", 1, false, true},
        {'-', "-5", 1, false, false},
        {'-', "-5", 1, true, true},
        {'-', "5", 2, false, false},
        {'+', "", 1, false, true},
        {'+', "+5", 1, false, false},
        {'+', "+5", 1, true, true},
        {'+', "-5", 1, false, true},
        {'+', "5", 2, true, false},
        {'.', "5", 2, false, false},
        {' ', "5", 1, false, false},
        {'e', "1", 2, false, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(validInt(QChar(k.c), k.text, k.pos, k.selection), k.valid)
            << "'" << k.c << "' at " << k.pos << " in '" << k.text << "' sel " << k.selection;
}

TEST(ValidateEditFilter, WholeTextKeepsOnlyWhatCouldHaveBeenTyped)
{
    const std::pair<const char*, const char*> cases[] = {
        {"+12a3", "+123"},
        {"1-2", "12"},
        {"--5", "-5"},
        {"+-5", "+5"},
        {"-+5", "-5"},
        {"12 345", "12345"},
        {"", ""},
        {"abc", ""},
        {"007", "007"},
        {"-", "-"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(filterText(dfInteger, kDigits, QString::fromLatin1(in)), QString::fromLatin1(out)) << in;
}

TEST(ValidateEditFilter, IntegerParsingCoversTheWhole64BitRange)
{
    EXPECT_EQ(parseInteger(QStringLiteral("9223372036854775807")), INT64_MAX);
    EXPECT_EQ(parseInteger(QStringLiteral("-9223372036854775808")), INT64_MIN);
    EXPECT_EQ(parseInteger(QStringLiteral("9223372036854775808")), std::nullopt);
    EXPECT_EQ(parseInteger(QStringLiteral("-9223372036854775809")), std::nullopt);
    EXPECT_EQ(parseInteger(QStringLiteral("99999999999999999999999")), std::nullopt);
    EXPECT_EQ(parseInteger(QStringLiteral("+12")), 12);
    EXPECT_EQ(parseInteger(QStringLiteral("-0")), 0);
    EXPECT_EQ(parseInteger(QStringLiteral("")), std::nullopt);
    EXPECT_EQ(parseInteger(QStringLiteral("-")), std::nullopt);
    EXPECT_EQ(parseInteger(QStringLiteral("1-2")), std::nullopt);
}

TEST(ValidateEditCommit, DisplayShowsTheNormalisedValue)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "0"},
        {"-", "0"},
        {"007", "7"},
        {"+12", "12"},
        {"-5", "-5"},
        {"12a", "12"},
        {"12345", "12345"},
        {"99999999999999999999", "0"},
        {"-0", "0"},
    };
    for (const auto& [in, out] : cases) {
        FakeEdit e;
        e.model.commit(QString::fromLatin1(in));
        EXPECT_EQ(e.shown, QString::fromLatin1(out)) << in;
        // What the box shows is not copied back: EditText keeps the filtered text.
        EXPECT_EQ(e.model.editText(), filterText(dfInteger, kDigits, QString::fromLatin1(in))) << in;
    }
}

TEST(ValidateEditCommit, DisplayOptions)
{
    FakeEdit e;
    e.model.setDisplayPrefix(QStringLiteral("$"));
    e.model.setDisplaySuffix(QStringLiteral(" V"));
    e.model.commit(QStringLiteral("042"));
    EXPECT_EQ(e.shown, QStringLiteral("$42 V"));
    e.model.setZeroEmpty(true);
    e.model.commit(QStringLiteral("0"));
    EXPECT_EQ(e.shown, QString());
    e.model.setZeroEmpty(false);
    e.model.setAllowEmpty(true);
    e.model.commit(QString());
    EXPECT_EQ(e.shown, QString());
    e.model.commit(QStringLiteral("-"));
    EXPECT_EQ(e.shown, QStringLiteral("$0 V"));
}

TEST(ValidateEditCommit, ShownTextIsWrittenOnlyWhenItDiffers)
{
    FakeEdit e;
    e.model.commit(QStringLiteral("5"));
    const int writes = e.writes;
    e.model.commit(QStringLiteral("005"));
    EXPECT_EQ(e.writes, writes);
    EXPECT_EQ(e.model.editText(), QStringLiteral("005"));
}

TEST(ValidateEditCommit, ValueChangedOnlyWhenTheCommittedTextChanges)
{
    FakeEdit e;
    e.model.commit(QStringLiteral("50"));
    EXPECT_EQ(e.changes, 1);
    e.model.commit(QStringLiteral("50"));
    e.model.setText(QStringLiteral("50"));
    EXPECT_EQ(e.changes, 1);
    e.model.setText(QStringLiteral("51"));
    EXPECT_EQ(e.changes, 2);
    // "050" is another text, though the same value.
    e.model.commit(QStringLiteral("051"));
    EXPECT_EQ(e.changes, 3);
}

TEST(ValidateEditCommit, EscapeRestoresTheLastCommittedText)
{
    FakeEdit e;
    e.model.commit(QStringLiteral("50"));
    e.type(QString());
    EXPECT_EQ(e.model.editText(), QString());
    e.model.revert();
    EXPECT_EQ(e.model.editText(), QStringLiteral("50"));
    EXPECT_EQ(e.shown, QStringLiteral("50"));

    // Cleared and left instead: empty EditText, the box shows 0, and that is what Escape
    // now brings back.
    e.type(QString());
    e.model.commit(e.shown);
    EXPECT_EQ(e.model.editText(), QString());
    EXPECT_EQ(e.shown, QStringLiteral("0"));
    e.type(QStringLiteral("77"));
    e.model.revert();
    EXPECT_EQ(e.shown, QStringLiteral("0"));
}

TEST(ValidateEditLimits, StoredButNotAppliedWhileSwitchedOff)
{
    FakeEdit e;
    e.model.setMinValue(1);
    e.model.setMaxValue(9999);
    for (const char* t : {"0", "-7", "12345"}) {
        e.model.commit(QString::fromLatin1(t));
        EXPECT_EQ(e.shown, QString::fromLatin1(t));
    }
}

TEST(ValidateEditLimits, SwitchedOnTheyClampAtOnceAndOnEveryCommit)
{
    FakeEdit e;
    e.model.setMinValue(1);
    e.model.setMaxValue(9999);
    e.model.commit(QStringLiteral("12345"));
    e.model.setHasMaxValue(true);
    EXPECT_EQ(e.shown, QStringLiteral("9999"));
    e.model.commit(QStringLiteral("-7"));
    EXPECT_EQ(e.shown, QStringLiteral("-7"));
    e.model.setHasMinValue(true);
    EXPECT_EQ(e.shown, QStringLiteral("1"));
    e.model.commit(QString());
    EXPECT_EQ(e.model.editText(), QStringLiteral("1"));
    e.model.setMaxValue(500.9);
    e.model.commit(QStringLiteral("600"));
    EXPECT_EQ(e.shown, QStringLiteral("500"));
}

TEST(ValidateEditLimits, OneLimitPushesTheOther)
{
    Model m;
    m.setMinValue(10);
    EXPECT_EQ(m.maxValue(), 10);
    m.setMaxValue(5);
    EXPECT_EQ(m.minValue(), 5);
    m.setMaxValue(20);
    EXPECT_EQ(m.minValue(), 5);
}

TEST(ValidateEditLimits, FractionalLimitsThatTruncateOutsideTheRangeEnd)
{
    // 1.5 truncates to 1, still below the minimum: one clamp, not an endless commit.
    FakeEdit e;
    e.model.setMaxValue(1.8);
    e.model.setMinValue(1.5);
    e.model.setHasMinValue(true);
    e.model.setHasMaxValue(true);
    e.model.commit(QStringLiteral("0"));
    EXPECT_EQ(e.shown, QStringLiteral("1"));
}

TEST(ValidateEditLimits, NotAppliedWhileLoading)
{
    FakeEdit e;
    e.model.beginLoading();
    e.model.commit(QStringLiteral("50"));
    e.model.setMaxValue(10);
    e.model.setHasMaxValue(true);
    EXPECT_EQ(e.model.editText(), QStringLiteral("50"));
    e.model.endLoading();
    EXPECT_EQ(e.shown, QStringLiteral("10"));
}

TEST(ValidateEditCriticalPoints, ColourFollowsTheValue)
{
    FakeEdit e;
    e.model.setNormalFontColor(clBlack);
    e.model.commit(QStringLiteral("5"));
    EXPECT_TRUE(e.colours.empty());
    TValidateEditCriticalPoints cp;
    cp.CheckPoints = cpBoth;
    cp.MinValue = 0;
    cp.MaxValue = 10;
    e.model.setCriticalPoints(cp);
    EXPECT_EQ(e.colours.back(), clBlack);
    e.model.commit(QStringLiteral("11"));
    EXPECT_EQ(e.colours.back(), clBlue);
    e.model.commit(QStringLiteral("-1"));
    EXPECT_EQ(e.colours.back(), clRed);
    cp.CheckPoints = cpMaxValue;
    e.model.setCriticalPoints(cp);
    EXPECT_EQ(e.colours.back(), clBlack);
    cp.CheckPoints = cpNone;
    e.model.commit(QStringLiteral("11"));
    EXPECT_EQ(e.colours.back(), clBlue);
    // Switched off: the normal colour comes back and stays.
    e.model.setCriticalPoints(cp);
    EXPECT_EQ(e.colours.back(), clBlack);
    const auto n = e.colours.size();
    e.model.commit(QStringLiteral("-100"));
    EXPECT_EQ(e.colours.size(), n);
}

TEST(ValidateEditFuzz, CommittedTextIsAlwaysAValidIntegerAndFilteringIsStable)
{
    std::mt19937 rng(20261208);
    const QString alphabet = QStringLiteral("0123456789+-- a.e\t\u0436\u0660");
    std::uniform_int_distribution<int> len(0, 24);
    std::uniform_int_distribution<int> pick(0, int(alphabet.size()) - 1);
    for (int round = 0; round < 20000; ++round) {
        QString s;
        for (int n = len(rng); n > 0; --n)
            s.append(alphabet[pick(rng)]);
        const QString f = filterText(dfInteger, kDigits, s);
        ASSERT_EQ(filterText(dfInteger, kDigits, f), f) << s.toStdString();
        FakeEdit e;
        e.model.commit(s);
        bool ok = false;
        e.shown.toLongLong(&ok);
        ASSERT_TRUE(ok) << s.toStdString() << " -> " << e.shown.toStdString();
    }
}
