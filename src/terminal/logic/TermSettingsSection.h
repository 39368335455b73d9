#pragma once
// The terminal's own section "Terminal" of the settings file: the choices of its settings
// dialog (emulation, grid size, fit to window, scroll-back, caret, 7-bit, the line-feed options,
// cursor keys, visible control characters). Local echo and line wrapping are not here: the
// console keeps them in its "Com" section.
//
// Templates over the settings file (readInteger/readBool/writeInteger/writeBool/sectionExists
// taking section and key) and the terminal (its property accessors), so that the terminal
// library needs neither the console's file class nor a window:
//
//     TTermSettingsSection::Load(ini, *Memo1);   // no section: the terminal stays as it is
//     TTermSettingsSection::Save(ini, *Memo1);   // written after the other sections

#include "terminal/logic/TermTypes.h"

#include <QByteArray>

class TTermSettingsSection {
public:
    static inline const QByteArray kSection = QByteArrayLiteral("Terminal");

    template <class Ini, class Terminal> static void Load(const Ini& ini, Terminal& t)
    {
        if (!ini.sectionExists(kSection))
            return;
        const auto ordinal = [&](const char* key, int current, int last) {
            const int v = ini.readInteger(kSection, key, current);
            return v >= 0 && v <= last ? v : current;
        };
        t.SetEmulation(TTermEmulation(ordinal("Emulation", t.Emulation(), teNone)));
        t.SetCaret(TTermCaret(ordinal("Caret", t.Caret(), tcNone)));
        t.SetForce7Bit(ini.readBool(kSection, "Force7Bit", t.Force7Bit()));
        t.SetSendLF(ini.readBool(kSection, "SendLF", t.SendLF()));
        t.SetAppendLF(ini.readBool(kSection, "AppendLF", t.AppendLF()));
        t.SetArrowKeys(TArrowKeys(ordinal("ArrowKeys", t.ArrowKeys(), akWindows)));
        t.SetShowControls(ini.readBool(kSection, "ShowControls", t.ShowControls()));
        t.SetScrollbackLines(ini.readInteger(kSection, "ScrollbackLines", t.ScrollbackLines()));
        // A fitted grid takes its size from the window; the stored size is for a fixed one.
        const bool fit = ini.readBool(kSection, "FitToWindow", t.FitToWindow());
        if (!fit) {
            t.SetFitToWindow(false);
            t.SetColumns(ini.readInteger(kSection, "Columns", t.Columns()));
            t.SetRows(ini.readInteger(kSection, "Rows", t.Rows()));
        }
        t.SetFitToWindow(fit);
    }

    template <class Ini, class Terminal> static void Save(Ini& ini, const Terminal& t)
    {
        ini.writeInteger(kSection, "Emulation", int(t.Emulation()));
        ini.writeInteger(kSection, "Columns", t.Columns());
        ini.writeInteger(kSection, "Rows", t.Rows());
        ini.writeBool(kSection, "FitToWindow", t.FitToWindow());
        ini.writeInteger(kSection, "ScrollbackLines", t.ScrollbackLines());
        ini.writeInteger(kSection, "Caret", int(t.Caret()));
        ini.writeBool(kSection, "Force7Bit", t.Force7Bit());
        ini.writeBool(kSection, "SendLF", t.SendLF());
        ini.writeBool(kSection, "AppendLF", t.AppendLF());
        ini.writeInteger(kSection, "ArrowKeys", int(t.ArrowKeys()));
        ini.writeBool(kSection, "ShowControls", t.ShowControls());
    }
};
