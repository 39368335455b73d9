// The terminal's section of the settings file, through the console's own file class.

#include "console/core/IniFile.h"
#include "terminal/logic/TermSettingsSection.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The terminal's properties that the section holds, as plain values.
struct Terminal {
    TTermEmulation emulation = teNone;
    int columns = 80, rows = 24;
    bool fit = true;
    int scrollback = 10000;
    TTermCaret caret = tcBlock;
    bool force7Bit = false, sendLF = true, appendLF = true, showControls = false;
    TArrowKeys arrowKeys = akTerminal;
    int sizeWrites = 0;

    TTermEmulation Emulation() const { return emulation; }
    void SetEmulation(TTermEmulation v) { emulation = v; }
    int Columns() const { return columns; }
    void SetColumns(int v) { columns = v, ++sizeWrites; }
    int Rows() const { return rows; }
    void SetRows(int v) { rows = v, ++sizeWrites; }
    bool FitToWindow() const { return fit; }
    void SetFitToWindow(bool v) { fit = v; }
    int ScrollbackLines() const { return scrollback; }
    void SetScrollbackLines(int v) { scrollback = v; }
    TTermCaret Caret() const { return caret; }
    void SetCaret(TTermCaret v) { caret = v; }
    bool Force7Bit() const { return force7Bit; }
    void SetForce7Bit(bool v) { force7Bit = v; }
    bool SendLF() const { return sendLF; }
    void SetSendLF(bool v) { sendLF = v; }
    bool AppendLF() const { return appendLF; }
    void SetAppendLF(bool v) { appendLF = v; }
    TArrowKeys ArrowKeys() const { return arrowKeys; }
    void SetArrowKeys(TArrowKeys v) { arrowKeys = v; }
    bool ShowControls() const { return showControls; }
    void SetShowControls(bool v) { showControls = v; }

    auto tie() const
    {
        return std::tie(emulation, columns, rows, fit, scrollback, caret, force7Bit, sendLF, appendLF,
            showControls, arrowKeys);
    }
};

} // namespace

TEST(TerminalSection, RoundTripAfterTheOtherSections)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Orvik.ini"));
    Terminal saved;
    saved.emulation = teVT52;
    saved.columns = 132;
    saved.rows = 50;
    saved.fit = false;
    saved.scrollback = 250;
    saved.caret = tcUnderline;
    saved.force7Bit = true;
    saved.sendLF = false;
    saved.showControls = true;
    saved.arrowKeys = akWindows;
    {
        TIniFile ini(path);
        ini.writeString("Com", "ComPortNo", "COM1");
        ini.writeInteger("Position", "Left", 100);
        TTermSettingsSection::Save(ini, saved);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_GT(text.indexOf("[Terminal]"), text.indexOf("[Position]"));

    Terminal loaded;
    TTermSettingsSection::Load(TIniFile(path), loaded);
    EXPECT_EQ(loaded.tie(), saved.tie());

    // A fitted grid does not take the stored size.
    saved.fit = true;
    {
        TIniFile ini(path);
        TTermSettingsSection::Save(ini, saved);
    }
    Terminal fitted;
    TTermSettingsSection::Load(TIniFile(path), fitted);
    EXPECT_TRUE(fitted.fit);
    EXPECT_EQ(fitted.sizeWrites, 0);
}

TEST(TerminalSection, AbsentOrDamagedValuesLeaveTheStartUpValues)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Orvik.ini"));
    {
        TIniFile ini(path);
        ini.writeString("Com", "ComPortNo", "COM1");
    }
    Terminal t;
    const auto before = t.tie();
    TTermSettingsSection::Load(TIniFile(path), t);
    EXPECT_EQ(t.tie(), before);

    {
        TIniFile ini(path);
        ini.writeString("Terminal", "Emulation", "7");
        ini.writeString("Terminal", "Caret", "x");
        ini.writeString("Terminal", "ArrowKeys", "-1");
    }
    TTermSettingsSection::Load(TIniFile(path), t);
    EXPECT_EQ(t.tie(), before);
}
