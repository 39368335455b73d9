#pragma once
// Option types of the terminal control. Their ordinals are the item indexes of the settings
// dialog's lists, so the order is fixed.

enum TTermEmulation { teVT100orANSI, teVT52, teNone };
enum TArrowKeys { akTerminal, akWindows };
enum TTermCaret { tcBlock, tcUnderline, tcNone };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TBorderStyle { bsNone, bsSingle };

// One step of the caret (AdvanceCaret).
enum TCaretMotion { mtAdvance, mtReturn, mtLineFeed, mtReverseLineFeed, mtTab, mtBackspace, mtClearScreen };

// The keys the terminal sends as sequences: the cursor keys first, then the editing and
// function keys.
enum class TTermKey {
    Home,
    Left,
    Up,
    Right,
    Down,
    End,
    PageUp,
    PageDown,
    Insert,
    Delete,
    BackTab,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
};

// A caret or cell position; columns and rows count from 1.
struct TTermPos {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TTermPos&, const TTermPos&) = default;
};
