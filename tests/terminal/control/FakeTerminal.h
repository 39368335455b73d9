#pragma once
// The terminal's logic with a recording port and window, for tests without a widget.

#include "terminal/logic/TermEngine.h"

#include <QByteArray>
#include <QRect>
#include <functional>
#include <vector>

class FakeTerminal : public TTermEngine {
public:
    explicit FakeTerminal(TTermEmulation emulation = teVT100orANSI, bool load = true)
    {
        SetEmulation(emulation);
        if (load)
            Loaded();
    }

    // What went out on the port, one entry per write.
    QByteArrayList writes;
    bool connected = true;
    // False lets the terminal print runs of plain text as blocks (nobody listens to OnChar).
    bool charEvents = true;

    struct Drawn {
        int column;
        int row;
        TTermCell cell;
        friend bool operator==(const Drawn&, const Drawn&) = default;
    };
    std::vector<Drawn> drawn;
    QByteArray chars; // every FireChar
    struct Unhandled {
        TEscapeCode code;
        QByteArray data;
    };
    std::vector<Unhandled> unhandled;
    std::vector<QRect> invalidatedCells;
    int invalidatedAll = 0;
    int scrolls = 0;
    int gridChanges = 0;

    std::function<void(QByteArray&)> onStrRecieved;
    std::function<void(std::unique_ptr<TEscapeCodes>&)> onGetEscapeCodes;
    std::function<void(char)> onChar;

    QByteArray wire() const { return writes.join(); }

    // Row y as text: empty cells read as '.', trailing empty cells dropped.
    QByteArray row(int y) const
    {
        QByteArray out;
        for (int x = 1; x <= Columns(); ++x)
            out.append(Buffer().GetCell(x, y).Ch ? Buffer().GetCell(x, y).Ch : '.');
        while (out.endsWith('.'))
            out.chop(1);
        return out;
    }
    TTermCell cell(int x, int y) const { return Buffer().GetCell(x, y); }
    bool screenEmpty() const
    {
        for (int y = 1; y <= Rows(); ++y)
            if (!row(y).isEmpty())
                return false;
        return true;
    }
    void placeView(TTermPos topLeft) { SetTopLeft(topLeft); }

    int TermFontWidth() const override { return 8; }
    int TermFontHeight() const override { return 16; }
    int TermClientWidth() const override { return 640; }
    int TermClientHeight() const override { return 384; }
    bool TermDoubleBuffered() const override { return false; }
    void InvalidateAll() override { ++invalidatedAll; }
    void InvalidateCells(const QRect& cells) override { invalidatedCells.push_back(cells); }
    void ScrollPixels(const QRect&, int) override { ++scrolls; }

protected:
    bool PortConnected() const override { return connected; }
    void PortWriteText(const QByteArray& Str) override { writes.append(Str); }
    void DrawCell(int Column, int Row, const TTermCell& Cell) override
    {
        drawn.push_back({Column, Row, Cell});
    }
    void GridSizeChanged() override { ++gridChanges; }

    bool CharEventsWanted() const override { return charEvents; }
    void FireChar(char Ch) override
    {
        chars.append(Ch);
        if (onChar)
            onChar(Ch);
    }
    void FireGetEscapeCodes(std::unique_ptr<TEscapeCodes>& EscapeCodes) override
    {
        if (onGetEscapeCodes)
            onGetEscapeCodes(EscapeCodes);
    }
    void FireStrRecieved(QByteArray& Str) override
    {
        if (onStrRecieved)
            onStrRecieved(Str);
    }
    void FireUnhandledCode(TEscapeCode Code, const QByteArray& Data) override
    {
        unhandled.push_back({Code, Data});
    }
};
