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
// All text is 8-bit (Windows-1251) bytes.

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
    // An ESC "[" sequence that has not met its final letter within this many bytes (the "["
    // included) is ended as escUnknown with its text, so a noisy line cannot grow it forever.
    static constexpr int kMaxControlSequence = 256;

    TFeedResult FeedChar(char Ch) override;
    QByteArray CodeToSequence(TEscapeCode Code, const QByteArrayList* Params = nullptr) const override;
    const QByteArray& Data() const override;

    bool Collecting() const { return collecting_; }
    bool CollectingExt() const { return collectingExt_; }

private:
    TEscapeCode MatchSequence() const;
    TEscapeCode MatchExtSequence();
    void splitParams(qsizetype end);
    void addParam(qsizetype start, qsizetype end);

    bool collecting_ = false;
    bool collectingExt_ = false;
    // The sequence is gathered here and copied into data_ only when Data() is asked for, so a
    // byte costs a store rather than a string append.
    std::array<char, kMaxControlSequence> seq_{};
    qsizetype seqLength_ = 0;
    mutable bool dataStale_ = false;
    // Buffers handed out as parameters; one whose list entry has been dropped is refilled
    // instead of allocating a new one.
    std::vector<QByteArray> paramBuffers_;
};
