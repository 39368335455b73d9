#pragma once
// A reader of the COMTRADE files the archive writes (1999, ASCII, analog channels only),
// strict enough to reject a file whose line or field counts are wrong.

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct ComtradeRecord {
    QString station;
    QString device;
    QString channelId;
    QString unit;
    double a = 1;
    double b = 0;
    std::int64_t min = 0;
    std::int64_t max = 0;
    std::int64_t endSample = 0;
    QString start;
    QString trigger;
    double timeMult = 1;
    std::vector<std::int64_t> stamps; // as stored
    std::vector<std::int64_t> raw; // as stored
    std::vector<double> values; // a * raw + b
    std::vector<double> timesUs; // stamp * timeMult
};

inline std::optional<ComtradeRecord> readComtrade(const QByteArray& cfg, const QByteArray& dat)
{
    if (!cfg.endsWith("\r\n") || (!dat.isEmpty() && !dat.endsWith("\r\n")))
        return std::nullopt;
    QList<QByteArray> lines = cfg.split('\n');
    lines.removeLast();
    for (QByteArray& l : lines) {
        if (!l.endsWith('\r'))
            return std::nullopt;
        l.chop(1);
    }
    // Header, counts, one analog channel, lf, nrates, one rate line, start, trigger, ft, timemult.
    if (lines.size() != 10)
        return std::nullopt;
    ComtradeRecord r;
    const auto head = lines[0].split(',');
    if (head.size() != 3 || head[2] != "1999")
        return std::nullopt;
    r.station = QString::fromUtf8(head[0]);
    r.device = QString::fromUtf8(head[1]);
    if (lines[1] != "1,1A,0D")
        return std::nullopt;
    const auto ch = lines[2].split(',');
    if (ch.size() != 13 || ch[0] != "1")
        return std::nullopt;
    bool ok = true;
    r.channelId = QString::fromUtf8(ch[1]);
    r.unit = QString::fromUtf8(ch[4]);
    r.a = ch[5].toDouble(&ok);
    if (!ok)
        return std::nullopt;
    r.b = ch[6].toDouble(&ok);
    if (!ok)
        return std::nullopt;
    r.min = ch[8].toLongLong(&ok);
    if (!ok || r.min < -99999)
        return std::nullopt;
    r.max = ch[9].toLongLong(&ok);
    if (!ok || r.max > 99998)
        return std::nullopt;
    if (lines[3].toDouble(&ok) <= 0 || !ok)
        return std::nullopt;
    if (lines[4] != "0")
        return std::nullopt;
    const auto rate = lines[5].split(',');
    if (rate.size() != 2 || rate[0] != "0")
        return std::nullopt;
    r.endSample = rate[1].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    r.start = QString::fromLatin1(lines[6]);
    r.trigger = QString::fromLatin1(lines[7]);
    if (lines[8] != "ASCII")
        return std::nullopt;
    r.timeMult = lines[9].toDouble(&ok);
    if (!ok)
        return std::nullopt;

    QList<QByteArray> rows = dat.split('\n');
    rows.removeLast();
    if (rows.size() != r.endSample)
        return std::nullopt;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QByteArray row = rows[i];
        if (!row.endsWith('\r'))
            return std::nullopt;
        row.chop(1);
        const auto f = row.split(',');
        if (f.size() != 3 || f[0].toLongLong() != i + 1)
            return std::nullopt;
        const std::int64_t stamp = f[1].toLongLong(&ok);
        if (!ok || stamp < 0 || (!r.stamps.empty() && stamp < r.stamps.back()))
            return std::nullopt;
        const std::int64_t x = f[2].toLongLong(&ok);
        if (!ok || x < r.min || x > r.max)
            return std::nullopt;
        r.stamps.push_back(stamp);
        r.raw.push_back(x);
        r.values.push_back(r.a * double(x) + r.b);
        r.timesUs.push_back(double(stamp) * r.timeMult);
    }
    return r;
}
