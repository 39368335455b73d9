#pragma once
// Escape-code parsers: split the terminal's byte stream into plain characters and escape codes,
// and turn codes back into the bytes sent for keys and answers. They know nothing of the screen.
//
// Use: feed every received byte to FeedChar(). On frChar the byte is in Character(); on frCode
// the sequence's meaning is in Code(), its bytes after the ESC in Data() and its parameters in
// Params(); clear Params() after handling each code so the next one starts empty. On frNothing
// the byte went into an unfinished sequence (state survives between calls, so a sequence may be
// split across received blocks). CodeToSequence() gives the ESC-prefixed text of a code in the
// parser's dialect, or an empty array when the dialect has none. GetParam() reads a numeric
// parameter of any list: missing, empty or non-numeric counts as 1.
//
// The VT100 parser reads the grammar of ECMA-48: a control sequence is ESC "[", parameter bytes,
// intermediate bytes and a final byte, and one it does not know is swallowed whole; ESC with
// intermediates likewise; OSC, DCS, APC, PM and SOS strings are swallowed up to ST or BEL. A C0
// control inside a sequence comes out as a plain character (it acts) and the sequence goes on;
// CAN and SUB abort it, and ESC starts a new one. Parameters are split at every ";", so an
// empty one reads as "". In VT52 mode (SetVT52Mode, from the mode ?2 reset) it reads and writes
// exactly as TEscapeCodesVT52 does, until ESC "<".
//
// All text is 8-bit (Windows-1251) bytes; there are no 8-bit controls, 0x80-0x9F being letters.

#include <QByteArray>
#include <QByteArrayList>
#include <array>
#include <cstdint>
#include <vector>

enum TEscapeCode : std::uint8_t {
    escUnknown,
    escNotCompleted,
    escCursorUp,
    escCursorDown,
    escCursorLeft,
    escCursorRight,
    escCursorHome,
    escCursorMove,
    escReverseLineFeed,
    escAppCursorLeft,
    escAppCursorRight,
    escAppCursorUp,
    escAppCursorDown,
    escEraseLineFrom,
    escEraseScreenFrom,
    escEraseLine,
    escEraseScreen,
    escSetTab,
    escClearTab,
    escClearAllTabs,
    escIdentify,
    escIdentResponse,
    escQueryDevice,
    escReportDeviceOK,
    escReportDeviceFailure,
    escQueryCursorPos,
    escReportCursorPos,
    escAttributes,
    escSetMode,
    escResetMode,
    escReset,
    escSaveCaretAndAttr,
    escRestoreCaretAndAttr,
    escSaveCaret,
    escRestoreCaret,
    escTest,
    // Beyond the two dialects' first set: VT100 screen control.
    escIndex, // IND: down one row, scrolling the region at its bottom
    escNextLine, // NEL: to column 1 of the next row, scrolling likewise
    escScrollRegion, // DECSTBM: rows P1..P2 scroll (absent: the whole screen)
    escEraseLineTo, // EL 1: from column 1 to the caret
    escEraseScreenTo, // ED 1: from the top to the caret
    escInsertLines, // IL
    escDeleteLines, // DL
    escInsertChars, // ICH
    escDeleteChars, // DCH
    escEraseChars, // ECH
    escCursorColumn, // CHA / HPA: to column P1
    escCursorRow, // VPA: to row P1
    escScrollUp, // SU
    escScrollDown, // SD
    escDesignateG0, // SCS: P1 is the set's final byte ("0" DEC line drawing, "B" ASCII)
    escDesignateG1,
    escEnterANSI, // ESC < in VT52 mode: back to VT100
};

enum TFeedResult : std::uint8_t { frChar, frCode, frNothing };

inline constexpr char kEsc = '\x1b';

class TEscapeCodes {
public:
    TEscapeCodes() = default;
    virtual ~TEscapeCodes() = default;
    TEscapeCodes(const TEscapeCodes&) = delete;
    TEscapeCodes& operator=(const TEscapeCodes&) = delete;

    virtual TFeedResult FeedChar(char Ch) = 0;
    // Params may be absent (nullptr): absent parameters are sent as 1.
    virtual QByteArray CodeToSequence(TEscapeCode Code, const QByteArrayList* Params = nullptr) const = 0;

    // Entry Num (from 1) as a signed integer; 1 when Params is absent, too short, or the entry
    // is not a number (out of the Integer range included).
    static int GetParam(int Num, const QByteArrayList* Params);
    static int GetParam(int Num, const QByteArrayList& Params) { return GetParam(Num, &Params); }

    char Character() const { return character_; }
    TEscapeCode Code() const { return code_; }
    virtual const QByteArray& Data() const { return data_; }
    QByteArrayList& Params() { return params_; }
    const QByteArrayList& Params() const { return params_; }

protected:
    char character_ = '\0';
    TEscapeCode code_ = escUnknown;
    // Mutable so that a descendant may fill it only when Data() is asked for.
    mutable QByteArray data_;
    QByteArrayList params_;
};

class TEscapeCodesVT52 : public TEscapeCodes {
public:
    TFeedResult FeedChar(char Ch) override;
    QByteArray CodeToSequence(TEscapeCode Code, const QByteArrayList* Params = nullptr) const override;

    bool Collecting() const { return collecting_; }

private:
    TEscapeCode MatchSequence();

    bool collecting_ = false;
};

class TEscapeCodesVT100 : public TEscapeCodes {
public:
    // A sequence keeps at most this many bytes (after the ESC) as its Data; a longer control
    // sequence is still swallowed to its final byte and then reported as escUnknown, so a
    // noisy line cannot grow it forever nor print its tail.
    static constexpr int kMaxControlSequence = 256;

    TFeedResult FeedChar(char Ch) override;
    QByteArray CodeToSequence(TEscapeCode Code, const QByteArrayList* Params = nullptr) const override;
    const QByteArray& Data() const override;

    bool Collecting() const { return state_ != State::Ground; }
    bool CollectingExt() const { return state_ == State::Csi || state_ == State::CsiIgnore; }
    // The VT52 mode of a VT100 (DECANM reset); ESC "<" ends it by itself.
    bool VT52Mode() const { return vt52Mode_; }
    void SetVT52Mode(bool On);

private:
    enum class State : std::uint8_t {
        Ground,
        Escape, // after ESC
        EscIntermediate, // ESC and intermediate bytes
        Ss3, // ESC O: one more byte
        Csi, // ESC [ ...
        CsiIgnore, // a malformed or overlong control sequence, up to its final byte
        String, // OSC, DCS, APC, PM, SOS: up to ST or BEL
        StringEsc, // ESC inside a string: ST when a backslash follows
        VT52, // VT52 mode, inside a sequence
    };
    TFeedResult finish(TEscapeCode Code);
    void store(char Ch)
    {
        if (seqLength_ < kMaxControlSequence)
            seq_[std::size_t(seqLength_++)] = Ch;
        dataStale_ = true;
    }
    TFeedResult startSequence();
    TEscapeCode MatchSequence();
    TEscapeCode MatchExtSequence();
    void splitParams(qsizetype begin, qsizetype end);
    void addParam(qsizetype start, qsizetype end);

    State state_ = State::Ground;
    bool vt52Mode_ = false;
    bool csiIntermediate_ = false; // an intermediate byte came: no more parameter bytes
    // The sequence is gathered here and copied into data_ only when Data() is asked for, so a
    // byte costs a store rather than a string append.
    std::array<char, kMaxControlSequence> seq_{};
    qsizetype seqLength_ = 0;
    mutable bool dataStale_ = false;
    // Buffers handed out as parameters; one whose list entry has been dropped is refilled
    // instead of allocating a new one.
    std::vector<QByteArray> paramBuffers_;
};
