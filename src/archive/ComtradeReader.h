#pragma once
// A reader of COMTRADE records (IEEE C37.111 of 1991, 1999 and 2013): a .cfg with its .dat, or
// one .cff. Lenient where a writer's habit does no harm (spaces around fields, LF without CR, a
// missing year, an unused field left blank), strict where a value is needed: a field that cannot
// be read refuses the whole record with the line and field named. Memory follows the real size
// of the data, never a count the file merely declares.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct ComtradeAnalog {
    int index = 0; // An
    QString id;
    QString phase;
    QString circuit;
    QString unit;
    double a = 1;
    double b = 0;
    double skewUs = 0;
    double min = 0;
    double max = 0;
    double primary = 1;
    double secondary = 1;
    bool secondaryValues = false; // PS = S: a·x + b gives the transformer's secondary side
    // The numbers as stored; NaN where the sample is missing.
    std::vector<double> raw;

    // a·x + b, as the file gives it.
    double value(std::size_t i) const { return a * raw[i] + b; }
    // The value on the primary side, whatever side a and b give.
    double primaryValue(std::size_t i) const
    {
        return secondaryValues ? value(i) * (primary / secondary) : value(i);
    }
};

struct ComtradeRate {
    double rate = 0; // Hz; 0: the time stamps are the times
    std::int64_t endSample = 0;
};

enum class ComtradeCharset { Ascii, Utf8, Windows1251, Latin1 };

struct ComtradeRecord {
    int revision = 1991;
    QString station;
    QString device;
    ComtradeCharset charset = ComtradeCharset::Ascii;
    std::vector<ComtradeAnalog> analogs;
    int digitals = 0;
    double lineFrequency = 0;
    std::vector<ComtradeRate> rates; // with nrates 0, one entry of rate 0
    QByteArray startText; // dd/mm/yyyy,hh:mm:ss.ssssss as written
    QByteArray triggerText;
    // The first sample's time. UTC when the file says its offset (2013's time_code), else the
    // local time of this computer.
    QDateTime start;
    QByteArray fileType; // ASCII, BINARY, BINARY32 or FLOAT32, upper case
    double timeMult = 1;
    QByteArray timeCode; // 2013: time_code, local_code, tmq_code, leapsec as written
    QByteArray localCode;
    QByteArray timeQuality;
    QByteArray leapSecond;
    // Per sample: the stamp as stored (NaN where missing) and the time in microseconds from the
    // rates, or from stamp × timemult when there are none.
    std::vector<double> stamps;
    std::vector<double> timesUs;
    std::int64_t declaredSamples = 0;
    // Not empty when the data was damaged and only its whole records were read: why.
    QString damage;
};

// Where a record breaks the format, and why; the message names them in the window's language.
struct ComtradeError {
    QString file; // "CFG" or "DAT" (the sections of a .cff), or a file name
    std::int64_t line = 0; // from 1; a record's number in binary data
    int field = 0; // from 1; 0 when the line as a whole is wrong
    QString name; // the field as the format names it
    QString why;
    bool binary = false; // `line` counts records, not lines
    QString message() const;
};

struct ComtradeResult {
    std::optional<ComtradeRecord> record;
    ComtradeError error;
};

// From the contents of the two files; `cfgName` and `datName` are what the errors call them.
ComtradeResult readComtrade(const QByteArray& cfg, const QByteArray& dat,
    const QString& cfgName = QStringLiteral("CFG"), const QString& datName = QStringLiteral("DAT"));
// From the contents of a .cff.
ComtradeResult readComtradeCff(const QByteArray& cff);
// A .cfg (with the .dat beside it) or a .cff on disk.
ComtradeResult readComtradeFile(const QString& path);

// How a value in `unit` is kept in whole numbers: stored = value / 10^exponent, in `title`.
struct ComtradeScale {
    int exponent = 0;
    QString title;
};
// The unit with an SI prefix moved by `exponent` (a multiple of 3): "kV", -3 -> "V".
QString comtradeScaledUnit(const QString& unit, int exponent);
// The coarsest scale that keeps a step of `quantum` and fits `largest` into 32 bits, never
// coarser than the unit itself unless the values need it.
ComtradeScale comtradeScale(const QString& unit, double quantum, double largest);
