#pragma once
// A reader of the COMTRADE files the archive writes (1999 ASCII, 2013 ASCII or BINARY32, one
// analog channel), strict enough to reject a file whose line, field or record counts are
// wrong.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>
#include <cstdint>
#include <optional>
#include <vector>

struct ComtradeRecord {
    QString station;
    QString device;
    int revision = 0;
    QString channelId;
    QString unit;
    double a = 1;
    double b = 0;
    std::int64_t min = 0;
    std::int64_t max = 0;
    double sampleRate = 0; // Hz; 0 when nrates is 0 and the stamps are the times
    std::int64_t endSample = 0;
    QString start;
    QString trigger;
    QByteArray fileType;
    double timeMult = 1;
    QByteArray timeCode, localCode; // 2013 only
    QByteArray timeQuality, leapSecond; // 2013 only
    std::vector<std::int64_t> stamps; // as stored
    std::vector<std::int64_t> raw; // as stored
    std::vector<double> values; // a * raw + b
    std::vector<double> timesUs; // from the rate when there is one, else stamp * timeMult
};

inline std::optional<ComtradeRecord> readComtrade(const QByteArray& cfg, const QByteArray& dat)
{
    if (!cfg.endsWith("\r\n"))
        return std::nullopt;
    QList<QByteArray> lines = cfg.split('\n');
    lines.removeLast();
    for (QByteArray& l : lines) {
        if (!l.endsWith('\r'))
            return std::nullopt;
        l.chop(1);
    }
    if (lines.isEmpty())
        return std::nullopt;
    ComtradeRecord r;
    const auto head = lines[0].split(',');
    if (head.size() != 3 || (head[2] != "1999" && head[2] != "2013"))
        return std::nullopt;
    r.revision = head[2].toInt();
    // Header, counts, one analog channel, lf, nrates, one rate line, start, trigger, ft,
    // timemult; 2013 adds the time codes and the time quality.
    if (lines.size() != (r.revision == 2013 ? 12 : 10))
        return std::nullopt;
    r.station = QString::fromUtf8(head[0]);
    r.device = QString::fromUtf8(head[1]);
    if (lines[1] != "1,1A,0D")
        return std::nullopt;
    r.fileType = lines[8];
    const bool binary = r.fileType == "BINARY32";
    if (r.fileType != "ASCII" && !(binary && r.revision == 2013))
        return std::nullopt;
    const std::int64_t lowest = binary ? -2147483647 : -99999;
    const std::int64_t highest = binary ? 2147483647 : 99998;

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
    if (!ok || r.min < lowest)
        return std::nullopt;
    r.max = ch[9].toLongLong(&ok);
    if (!ok || r.max > highest)
        return std::nullopt;
    if (lines[3].toDouble(&ok) <= 0 || !ok)
        return std::nullopt;
    const auto rate = lines[5].split(',');
    if (rate.size() != 2)
        return std::nullopt;
    if (lines[4] == "1") {
        r.sampleRate = rate[0].toDouble(&ok);
        if (!ok || r.sampleRate <= 0)
            return std::nullopt;
    } else if (lines[4] != "0" || rate[0] != "0") {
        return std::nullopt;
    }
    r.endSample = rate[1].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    r.start = QString::fromLatin1(lines[6]);
    r.trigger = QString::fromLatin1(lines[7]);
    r.timeMult = lines[9].toDouble(&ok);
    if (!ok)
        return std::nullopt;
    if (r.revision == 2013) {
        const auto codes = lines[10].split(',');
        const auto quality = lines[11].split(',');
        if (codes.size() != 2 || quality.size() != 2 || quality[0].size() != 1)
            return std::nullopt;
        quality[0].toInt(&ok, 16);
        const int leap = quality[1].toInt();
        if (!ok || quality[1].size() != 1 || leap < 0 || leap > 3)
            return std::nullopt;
        r.timeCode = codes[0];
        r.localCode = codes[1];
        r.timeQuality = quality[0];
        r.leapSecond = quality[1];
    }

    const auto add = [&](std::int64_t n, std::int64_t stamp, std::int64_t x) {
        if (n != std::int64_t(r.raw.size()) + 1 || stamp < 0 || (!r.stamps.empty() && stamp < r.stamps.back())
            || x < r.min || x > r.max)
            return false;
        r.stamps.push_back(stamp);
        r.raw.push_back(x);
        r.values.push_back(r.a * double(x) + r.b);
        r.timesUs.push_back(
            r.sampleRate > 0 ? double(n - 1) * 1e6 / r.sampleRate : double(stamp) * r.timeMult);
        return true;
    };
    if (binary) {
        // n and the stamp unsigned 32-bit, the sample signed 32-bit, little-endian.
        constexpr qsizetype kRecord = 12;
        if (dat.size() != r.endSample * kRecord)
            return std::nullopt;
        for (qsizetype at = 0; at < dat.size(); at += kRecord) {
            const char* p = dat.constData() + at;
            const std::uint32_t stamp = qFromLittleEndian<std::uint32_t>(p + 4);
            if (stamp == 0xFFFFFFFFu
                || !add(qFromLittleEndian<std::uint32_t>(p), stamp, qFromLittleEndian<std::int32_t>(p + 8)))
                return std::nullopt;
        }
        return r;
    }

    if (!dat.isEmpty() && !dat.endsWith("\r\n"))
        return std::nullopt;
    QList<QByteArray> rows = dat.split('\n');
    rows.removeLast();
    if (rows.size() != r.endSample)
        return std::nullopt;
    for (QByteArray row : rows) {
        if (!row.endsWith('\r'))
            return std::nullopt;
        row.chop(1);
        const auto f = row.split(',');
        if (f.size() != 3)
            return std::nullopt;
        bool okN = true, okStamp = true, okX = true;
        if (!add(f[0].toLongLong(&okN), f[1].toLongLong(&okStamp), f[2].toLongLong(&okX)) || !okN || !okStamp
            || !okX)
            return std::nullopt;
    }
    return r;
}
