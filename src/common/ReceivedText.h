#pragma once
// Received bytes as the console passes them on (to the log, the parser and the screen): an LF
// after each CR when AppendLF is on, the eighth bit cleared when Force7Bit is on.

#include <QByteArray>

inline QByteArray shapeReceived(const char* buffer, int count, bool appendLF, bool force7Bit)
{
    QByteArray str;
    if (appendLF) {
        str.reserve(count + count / 8 + 1);
        for (int i = 0; i < count; ++i) {
            str.append(buffer[i]);
            if (buffer[i] == '\r')
                str.append('\n');
        }
    } else {
        str = QByteArray(buffer, count);
    }
    if (force7Bit) {
        for (char& ch : str)
            ch = char(static_cast<unsigned char>(ch) & 0x7F);
    }
    return str;
}
