// The CSV fields every export writes: quoted when needed, formulas neutralised, numbers kept.
#include "console/core/Csv.h"

#include <gtest/gtest.h>

TEST(Csv, FieldsAreQuotedOrNeutralisedAndNumbersStayNumbers)
{
    const struct {
        QString field;
        QByteArray written;
    } cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"-15", "-15"},
        {"+2.5", "+2.5"},
        {"-.5", "-.5"},
        {"-1e-3", "-1e-3"},
        {"+4E+2", "+4E+2"},
        {"1=2", "1=2"},
        {"=1+2", "'=1+2"},
        {"+7 (888)", "'+7 (888)"},
        {"-", "'-"},
        {"-1-2", "'-1-2"},
        {"-1e", "'-1e"},
        {"--5", "'--5"},
        {"-.", "'-."},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"=HYPERLINK(\"h\",\"t\")", "\"'=HYPERLINK(\"\"h\"\",\"\"t\"\")\""},
        {"=a,b", "\"'=a,b\""},
        {"\r=x", "\"'\r=x\""},
        {"a,b", "\"a,b\""},
        {"two\nlines", "\"two\nlines\""},
        {QStringLiteral("Грешка"), "\xD0\x93\xD1\x80\xD0\xB5\xD1\x88\xD0\xBA\xD0\xB0"},
    };
    for (const auto& c : cases) {
        QByteArray row;
        appendCsvRow(row, {c.field, QStringLiteral("-3")});
        EXPECT_EQ(row, c.written + ",-3\r\n") << c.field.toStdString();
    }
    QByteArray numbers;
    appendCsvNumbers(numbers, {1, -4294967296LL, 0});
    EXPECT_EQ(numbers, "1,-4294967296,0\r\n");
}
