#pragma once
// Receive filter of the POSIX device: turns the bytes read from a tty into what the port's
// settings promise. With parity checking the tty marks bad bytes (PARMRK: 0xFF 0x00 c, and
// 0xFF 0xFF for a real 0xFF); the filter replaces them or passes c, drops NUL bytes when
// asked, and notices the event byte. Markers may be split across reads.

#include <QByteArray>
#include <cstddef>

class TRxFilter {
public:
    struct Options {
        bool marked = false; // the tty sends PARMRK markers
        bool replace = false;
        char replaceChar = 0;
        bool discardNull = false;
        bool watchEventChar = false;
        char eventChar = 0;
    };
    struct Result {
        std::size_t appended = 0;
        bool eventChar = false;
        int errorBytes = 0; // marked bytes seen
    };

    void setOptions(const Options& options);
    void reset() { state_ = 0; }
    Result feed(const char* raw, std::size_t count, QByteArray& out);

private:
    void put(char c, QByteArray& out, Result& r) const;
    void putRun(const char* run, std::size_t n, QByteArray& out, Result& r) const;
    Options options_;
    int state_ = 0; // 0 plain, 1 after 0xFF, 2 after 0xFF 0x00
};
