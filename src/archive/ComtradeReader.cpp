#include "archive/ComtradeReader.h"

#include "common/Cp1251.h"

#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QtEndian>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

namespace text {
const QString lineField = QStringLiteral("%1, ред %2, поле %3 (%4): %5");
const QString recordField = QStringLiteral("%1, запис %2, поле %3 (%4): %5");
const QString lineOnly = QStringLiteral("%1, ред %2: %3");
const QString fileOnly = QStringLiteral("%1: %2");
const QString missingLine = QStringLiteral("редът липсва (файлът свършва по-рано)");
const QString missingField = QStringLiteral("полето липсва");
const QString notNumber = QStringLiteral("„%1“ не е число");
const QString notWhole = QStringLiteral("„%1“ не е цяло число");
const QString negative = QStringLiteral("%1 е отрицателно");
const QString unknownYear = QStringLiteral("„%1“ не е година на COMTRADE (1991, 1999 или 2013)");
const QString countSuffix = QStringLiteral("„%1“: очаква се брой, следван от %2");
const QString countSum = QStringLiteral("общо %1 канала, а аналоговите и цифровите са %2");
const QString ps = QStringLiteral("„%1“: очаква се P или S");
const QString ratioZero = QStringLiteral("коефициентът е 0, а стойностите са вторични");
const QString endBackwards = QStringLiteral("%1 е преди края на предишната честота (%2)");
const QString noSamples = QStringLiteral("записът няма проби");
const QString badDate = QStringLiteral("„%1“ не е дата дд/мм/гггг");
const QString badTime = QStringLiteral("„%1“ не е час чч:мм:сс.ссссss");
const QString fileType = QStringLiteral("„%1“: очаква се ASCII, BINARY, BINARY32 или FLOAT32");
const QString notPositive = QStringLiteral("„%1“ трябва да е по-голямо от 0");
const QString badOffset = QStringLiteral("„%1“ не е отместване от UTC (+2, -5h30 или x)");
const QString badQuality = QStringLiteral("„%1“: очаква се шестнайсетична цифра");
const QString badLeap = QStringLiteral("„%1“: очаква се 0, 1, 2 или 3");
const QString extraLine = QStringLiteral("ред след последния, който форматът познава: „%1“");
const QString extraFields = QStringLiteral("%1 полета вместо %2");
const QString noTime = QStringLiteral("пробата няма време, а честота на дискретизация няма");
const QString fewer = QStringLiteral("данните свършват по-рано: прочетени са %1 от %2 проби");
const QString partial = QStringLiteral("последните %1 байта не са цял запис");
const QString more = QStringLiteral("след последната обявена проба (%1) има още данни; не са прочетени");
const QString cannotOpen = QStringLiteral("не може да се отвори: %1");
const QString noHeader = QStringLiteral("очаква се заглавие на раздел „--- file type: ... ---“");
const QString noSection = QStringLiteral("няма раздел %1");
const QString badCount = QStringLiteral("„%1“ не е брой байтове");
const QString typeMismatch = QStringLiteral("разделът е %1, а в CFG типът е %2");
} // namespace text

// A refusal on its way out of the parser.
struct Refused {
    ComtradeError error;
};

[[noreturn]] void refuse(const QString& file, std::int64_t line, int field, const QString& name,
    const QString& why, bool binary = false)
{
    throw Refused{ComtradeError{file, line, field, name, why, binary}};
}

QByteArrayView trimmed(QByteArrayView s)
{
    while (!s.isEmpty() && (s.front() == ' ' || s.front() == '\t'))
        s = s.sliced(1);
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.chop(1);
    return s;
}

QString shown(QByteArrayView s)
{
    return QString::fromLatin1(s.first(std::min<qsizetype>(s.size(), 40)));
}

bool parseDouble(QByteArrayView s, double& v)
{
    if (!s.isEmpty() && s.front() == '+')
        s = s.sliced(1);
    if (s.isEmpty())
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

bool parseInt(QByteArrayView s, std::int64_t& v)
{
    if (!s.isEmpty() && s.front() == '+')
        s = s.sliced(1);
    if (s.isEmpty())
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// The lines of a text, without their CR LF; trailing empty lines dropped.
std::vector<QByteArrayView> splitLines(QByteArrayView t)
{
    std::vector<QByteArrayView> lines;
    qsizetype at = 0;
    while (at < t.size()) {
        qsizetype end = t.indexOf('\n', at);
        if (end < 0)
            end = t.size();
        QByteArrayView line = t.sliced(at, end - at);
        if (!line.isEmpty() && line.back() == '\r')
            line.chop(1);
        lines.push_back(line);
        at = end + 1;
    }
    while (!lines.empty() && trimmed(lines.back()).isEmpty())
        lines.pop_back();
    return lines;
}

std::vector<QByteArrayView> splitFields(QByteArrayView line)
{
    std::vector<QByteArrayView> fields;
    qsizetype at = 0;
    for (;;) {
        const qsizetype comma = line.indexOf(',', at);
        const qsizetype end = comma < 0 ? line.size() : comma;
        fields.push_back(trimmed(line.sliced(at, end - at)));
        if (comma < 0)
            break;
        at = comma + 1;
    }
    return fields;
}

bool validUtf8(QByteArrayView s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char c = *p++;
        int more = 0;
        if (c < 0x80)
            continue;
        if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3;
        else
            return false;
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += more;
    }
    return true;
}

// UTF-8 when the bytes are valid UTF-8; otherwise Windows-1251 or Latin-1, told apart by their
// words: Cyrillic words are (nearly) all upper-half letters, Latin words carry one or two among
// ASCII letters. C1 control codes never appear in Latin-1 text.
ComtradeCharset detectCharset(QByteArrayView s)
{
    bool high = false;
    for (char c : s)
        high = high || (static_cast<unsigned char>(c) >= 0x80);
    if (!high)
        return ComtradeCharset::Ascii;
    if (validUtf8(s))
        return ComtradeCharset::Utf8;
    std::int64_t cyrillic = 0;
    std::int64_t latin = 0;
    int upper = 0;
    int ascii = 0;
    const auto endWord = [&] {
        if (upper > 0)
            (upper >= ascii ? cyrillic : latin) += upper;
        upper = ascii = 0;
    };
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c < 0xA0)
            return ComtradeCharset::Windows1251;
        if (c >= 0xC0)
            ++upper;
        else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            ++ascii;
        else
            endWord();
    }
    endWord();
    return cyrillic > latin ? ComtradeCharset::Windows1251 : ComtradeCharset::Latin1;
}

QString decode(QByteArrayView s, ComtradeCharset charset)
{
    switch (charset) {
    case ComtradeCharset::Utf8:
        return QString::fromUtf8(s);
    case ComtradeCharset::Windows1251:
        return cp1251::decode(s.data(), s.size());
    case ComtradeCharset::Ascii:
    case ComtradeCharset::Latin1:
        break;
    }
    return QString::fromLatin1(s);
}

// "+2", "-5h30", "0": minutes east of UTC; "x" or blank: nothing.
std::optional<int> parseOffset(QByteArrayView s, bool& ok)
{
    ok = true;
    if (s.isEmpty() || s == "x" || s == "X")
        return std::nullopt;
    int sign = 1;
    if (s.front() == '+' || s.front() == '-') {
        sign = s.front() == '-' ? -1 : 1;
        s = s.sliced(1);
    }
    const qsizetype h = s.indexOf('h');
    std::int64_t hours = 0;
    std::int64_t minutes = 0;
    ok = parseInt(h < 0 ? s : s.first(h), hours) && hours >= 0 && hours <= 14 && s.size() > 0
        && (s.front() >= '0' && s.front() <= '9');
    if (ok && h >= 0)
        ok = s.size() - h - 1 == 2 && parseInt(s.sliced(h + 1), minutes) && minutes >= 0 && minutes < 60;
    if (!ok)
        return std::nullopt;
    return sign * int(hours * 60 + minutes);
}

// Both fields of a dd/mm/yyyy,hh:mm:ss.ssssss line; the date and time refuse what they are not.
std::pair<QDate, QTime> parseWhen(
    const std::vector<QByteArrayView>& f, const QString& file, std::int64_t line)
{
    const auto part = [](QByteArrayView s, char sep, int count, std::vector<QByteArrayView>& out) {
        out.clear();
        qsizetype at = 0;
        for (int i = 0; i < count; ++i) {
            const qsizetype next = i + 1 < count ? s.indexOf(sep, at) : s.size();
            if (next < 0)
                return false;
            out.push_back(s.sliced(at, next - at));
            at = next + 1;
        }
        return true;
    };
    std::vector<QByteArrayView> p;
    std::int64_t d = 0, m = 0, y = 0;
    if (f.empty() || !part(f[0], '/', 3, p) || !parseInt(p[0], d) || !parseInt(p[1], m) || !parseInt(p[2], y)
        || (p[2].size() != 2 && p[2].size() != 4))
        refuse(file, line, 1, QStringLiteral("dd/mm/yyyy"), text::badDate.arg(shown(f.empty() ? "" : f[0])));
    if (p[2].size() == 2)
        y += y < 70 ? 2000 : 1900;
    const QDate date{int(y), int(m), int(d)};
    if (!date.isValid())
        refuse(file, line, 1, QStringLiteral("dd/mm/yyyy"), text::badDate.arg(shown(f[0])));
    if (f.size() < 2)
        refuse(file, line, 2, QStringLiteral("hh:mm:ss.ssssss"), text::missingField);
    std::int64_t hh = 0, mm = 0;
    double ss = 0;
    if (!part(f[1], ':', 3, p) || !parseInt(p[0], hh) || !parseInt(p[1], mm) || !parseDouble(p[2], ss)
        || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss >= 61)
        refuse(file, line, 2, QStringLiteral("hh:mm:ss.ssssss"), text::badTime.arg(shown(f[1])));
    const int msecs = std::min(59999, int(std::floor(ss * 1000 + 1e-6)));
    return {date, QTime(int(hh), int(mm), msecs / 1000, msecs % 1000)};
}

struct Cfg {
    ComtradeRecord r;
    QDate date;
    QTime time;
    std::optional<int> offsetMinutes;
};

Cfg parseCfg(QByteArrayView bytes, const QString& file)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    Cfg cfg;
    ComtradeRecord& r = cfg.r;
    r.charset = detectCharset(bytes);
    const std::vector<QByteArrayView> lines = splitLines(bytes);
    std::size_t at = 0;
    std::vector<QByteArrayView> f;
    // The next line's fields, and its number.
    const auto next = [&](const QString& firstField) {
        if (at >= lines.size())
            refuse(file, std::int64_t(at) + 1, 0, firstField, text::missingLine);
        f = splitFields(lines[at]);
        return std::int64_t(++at);
    };
    const auto real = [&](std::int64_t line, int field, const QString& name, double blank) {
        if (std::size_t(field) > f.size() || f[std::size_t(field - 1)].isEmpty()) {
            if (std::isnan(blank))
                refuse(file, line, field, name, text::missingField);
            return blank;
        }
        double v = 0;
        if (!parseDouble(f[std::size_t(field - 1)], v))
            refuse(file, line, field, name, text::notNumber.arg(shown(f[std::size_t(field - 1)])));
        return v;
    };
    const auto whole = [&](std::int64_t line, int field, const QString& name) {
        if (std::size_t(field) > f.size())
            refuse(file, line, field, name, text::missingField);
        std::int64_t v = 0;
        if (!parseInt(f[std::size_t(field - 1)], v))
            refuse(file, line, field, name, text::notWhole.arg(shown(f[std::size_t(field - 1)])));
        if (v < 0)
            refuse(file, line, field, name, text::negative.arg(v));
        return v;
    };
    const double required = std::numeric_limits<double>::quiet_NaN();

    std::int64_t line = next(QStringLiteral("station_name"));
    if (f.size() < 2)
        refuse(file, line, 2, QStringLiteral("rec_dev_id"), text::missingField);
    r.station = decode(f[0], r.charset);
    r.device = decode(f[1], r.charset);
    if (f.size() >= 3 && !f[2].isEmpty()) {
        if (f[2] != "1991" && f[2] != "1999" && f[2] != "2013")
            refuse(file, line, 3, QStringLiteral("rev_year"), text::unknownYear.arg(shown(f[2])));
        r.revision = f[2].toInt();
    }

    line = next(QStringLiteral("TT"));
    const std::int64_t total = whole(line, 1, QStringLiteral("TT"));
    const auto counted = [&](int field, const QString& name, char suffix) {
        if (std::size_t(field) > f.size())
            refuse(file, line, field, name, text::missingField);
        QByteArrayView s = f[std::size_t(field - 1)];
        std::int64_t v = 0;
        if (s.isEmpty() || (s.back() != suffix && s.back() != suffix + ('a' - 'A'))
            || !parseInt(s.chopped(1), v) || v < 0)
            refuse(file, line, field, name, text::countSuffix.arg(shown(s), QChar::fromLatin1(suffix)));
        return v;
    };
    const std::int64_t analogs = counted(2, QStringLiteral("##A"), 'A');
    const std::int64_t digitals = counted(3, QStringLiteral("##D"), 'D');
    if (analogs + digitals != total)
        refuse(file, line, 1, QStringLiteral("TT"), text::countSum.arg(total).arg(analogs + digitals));
    // Each channel has a line of its own, so the counts are bounded by the file's real size.
    if (std::size_t(total) > lines.size())
        refuse(file, std::int64_t(lines.size()) + 1, 0, QStringLiteral("An"), text::missingLine);
    r.digitals = int(digitals);
    r.analogs.reserve(std::size_t(analogs));
    for (std::int64_t i = 0; i < analogs; ++i) {
        line = next(QStringLiteral("An"));
        static const char* const names[] = {
            "An", "ch_id", "ph", "ccbm", "uu", "a", "b", "skew", "min", "max", "primary", "secondary", "PS"};
        if (f.size() < 7)
            refuse(file, line, int(f.size()) + 1, QString::fromLatin1(names[f.size()]), text::missingField);
        ComtradeAnalog c;
        c.index = int(whole(line, 1, QStringLiteral("An")));
        c.id = decode(f[1], r.charset);
        c.phase = decode(f[2], r.charset);
        c.circuit = decode(f[3], r.charset);
        c.unit = decode(f[4], r.charset);
        c.a = real(line, 6, QStringLiteral("a"), required);
        c.b = real(line, 7, QStringLiteral("b"), required);
        c.skewUs = real(line, 8, QStringLiteral("skew"), 0);
        c.min = real(line, 9, QStringLiteral("min"), 0);
        c.max = real(line, 10, QStringLiteral("max"), 0);
        c.primary = real(line, 11, QStringLiteral("primary"), 1);
        c.secondary = real(line, 12, QStringLiteral("secondary"), 1);
        if (f.size() >= 13 && !f[12].isEmpty()) {
            if (f[12] != "P" && f[12] != "p" && f[12] != "S" && f[12] != "s")
                refuse(file, line, 13, QStringLiteral("PS"), text::ps.arg(shown(f[12])));
            c.secondaryValues = f[12] == "S" || f[12] == "s";
        }
        if (c.secondaryValues && (c.secondary == 0 || c.primary == 0))
            refuse(file, line, c.secondary == 0 ? 12 : 11,
                c.secondary == 0 ? QStringLiteral("secondary") : QStringLiteral("primary"), text::ratioZero);
        if (f.size() > 13)
            refuse(file, line, 14, QStringLiteral("PS"), text::extraFields.arg(f.size()).arg(13));
        r.analogs.push_back(std::move(c));
    }
    for (std::int64_t i = 0; i < digitals; ++i) {
        line = next(QStringLiteral("Dn"));
        whole(line, 1, QStringLiteral("Dn"));
    }

    line = next(QStringLiteral("lf"));
    r.lineFrequency = real(line, 1, QStringLiteral("lf"), 0);

    line = next(QStringLiteral("nrates"));
    const std::int64_t nrates = whole(line, 1, QStringLiteral("nrates"));
    if (std::size_t(nrates) > lines.size())
        refuse(file, std::int64_t(lines.size()) + 1, 0, QStringLiteral("samp"), text::missingLine);
    std::int64_t lastEnd = 0;
    for (std::int64_t i = 0; i < std::max<std::int64_t>(nrates, 1); ++i) {
        line = next(QStringLiteral("samp"));
        ComtradeRate rate;
        rate.rate = real(line, 1, QStringLiteral("samp"), required);
        if (rate.rate < 0)
            refuse(file, line, 1, QStringLiteral("samp"), text::negative.arg(rate.rate));
        if (nrates == 0)
            rate.rate = 0; // the stamps are the times
        rate.endSample = whole(line, 2, QStringLiteral("endsamp"));
        if (rate.endSample < lastEnd)
            refuse(file, line, 2, QStringLiteral("endsamp"),
                text::endBackwards.arg(rate.endSample).arg(lastEnd));
        lastEnd = rate.endSample;
        r.rates.push_back(rate);
    }
    if (lastEnd == 0)
        refuse(file, line, 2, QStringLiteral("endsamp"), text::noSamples);
    r.declaredSamples = lastEnd;

    line = next(QStringLiteral("dd/mm/yyyy"));
    r.startText = lines[std::size_t(line - 1)].toByteArray();
    std::tie(cfg.date, cfg.time) = parseWhen(f, file, line);
    line = next(QStringLiteral("dd/mm/yyyy"));
    r.triggerText = lines[std::size_t(line - 1)].toByteArray();

    line = next(QStringLiteral("ft"));
    r.fileType = f[0].toByteArray().toUpper();
    if (r.fileType != "ASCII" && r.fileType != "BINARY" && r.fileType != "BINARY32"
        && r.fileType != "FLOAT32")
        refuse(file, line, 1, QStringLiteral("ft"), text::fileType.arg(shown(f[0])));

    // The 1991 revision has no timemult; a file that has one anyway is read with it.
    if (r.revision >= 1999 || at < lines.size()) {
        line = next(QStringLiteral("timemult"));
        r.timeMult = real(line, 1, QStringLiteral("timemult"), 1);
        if (r.timeMult <= 0)
            refuse(file, line, 1, QStringLiteral("timemult"), text::notPositive.arg(shown(f[0])));
    }
    // The 2013 revision's time codes; read in any file that has them.
    if (at < lines.size()) {
        line = next(QStringLiteral("time_code"));
        bool ok = true;
        cfg.offsetMinutes = parseOffset(f[0], ok);
        if (!ok)
            refuse(file, line, 1, QStringLiteral("time_code"), text::badOffset.arg(shown(f[0])));
        r.timeCode = f[0].toByteArray();
        if (f.size() >= 2) {
            parseOffset(f[1], ok);
            if (!ok)
                refuse(file, line, 2, QStringLiteral("local_code"), text::badOffset.arg(shown(f[1])));
            r.localCode = f[1].toByteArray();
        }
    }
    if (at < lines.size()) {
        line = next(QStringLiteral("tmq_code"));
        const QByteArrayView q = f[0];
        if (q.size() > 1 || (q.size() == 1 && !std::isxdigit(static_cast<unsigned char>(q.front()))))
            refuse(file, line, 1, QStringLiteral("tmq_code"), text::badQuality.arg(shown(q)));
        r.timeQuality = q.toByteArray();
        if (f.size() >= 2) {
            const QByteArrayView l = f[1];
            if (l.size() > 1 || (l.size() == 1 && (l.front() < '0' || l.front() > '3')))
                refuse(file, line, 2, QStringLiteral("leapsec"), text::badLeap.arg(shown(l)));
            r.leapSecond = l.toByteArray();
        }
    }
    if (at < lines.size())
        throw Refused{
            ComtradeError{file, std::int64_t(at) + 1, 0, QString(), text::extraLine.arg(shown(lines[at]))}};

    if (cfg.offsetMinutes)
        r.start = QDateTime(cfg.date, cfg.time, QTimeZone(*cfg.offsetMinutes * 60)).toUTC();
    else
        r.start = QDateTime(cfg.date, cfg.time);
    return cfg;
}

QString analogName(std::size_t k)
{
    return QStringLiteral("A%1").arg(k + 1);
}

// The times of the samples read: from the rates, or from the stamps where a rate is 0.
void computeTimes(ComtradeRecord& r, const QString& datName)
{
    const std::size_t n = r.stamps.size();
    r.timesUs.resize(n);
    std::size_t seg = 0;
    std::int64_t segStart = 1; // the sample the segment's times count from
    double segStartTime = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t sample = std::int64_t(i) + 1;
        while (seg + 1 < r.rates.size() && sample > r.rates[seg].endSample) {
            if (r.rates[seg].endSample >= 1) {
                segStart = r.rates[seg].endSample;
                segStartTime = r.timesUs[std::size_t(segStart - 1)];
            }
            ++seg;
        }
        const double rate = r.rates[seg].rate;
        if (rate > 0) {
            r.timesUs[i] = segStartTime + double(sample - segStart) * 1e6 / rate;
        } else {
            if (std::isnan(r.stamps[i]))
                refuse(datName, sample, 2, QStringLiteral("timestamp"), text::noTime, r.fileType != "ASCII");
            r.timesUs[i] = r.stamps[i] * r.timeMult;
        }
    }
}

void readAscii(ComtradeRecord& r, QByteArrayView dat, const QString& datName)
{
    const std::size_t k = r.analogs.size();
    const std::size_t fields = 2 + k + std::size_t(r.digitals);
    // A line has at least a digit and its commas: the real size bounds what is reserved.
    const std::size_t fit = std::size_t(dat.size()) / fields + 1;
    const std::size_t want = std::min<std::size_t>(std::size_t(r.declaredSamples), fit);
    r.stamps.reserve(want);
    for (auto& c : r.analogs)
        c.raw.reserve(want);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    qsizetype at = 0;
    std::int64_t line = 0;
    std::int64_t extra = 0;
    while (at < dat.size()) {
        qsizetype end = dat.indexOf('\n', at);
        if (end < 0)
            end = dat.size();
        QByteArrayView row = dat.sliced(at, end - at);
        at = end + 1;
        ++line;
        if (!row.isEmpty() && row.back() == '\r')
            row.chop(1);
        if (trimmed(row).isEmpty())
            continue;
        if (std::int64_t(r.stamps.size()) == r.declaredSamples) {
            ++extra;
            continue;
        }
        std::size_t field = 0;
        qsizetype from = 0;
        for (;;) {
            const qsizetype comma = row.indexOf(',', from);
            const QByteArrayView v = trimmed(row.sliced(from, (comma < 0 ? row.size() : comma) - from));
            ++field;
            if (field > fields)
                refuse(datName, line, 0, QString(), text::extraFields.arg(row.count(',') + 1).arg(fields));
            if (field == 1) {
                std::int64_t n = 0;
                if (!parseInt(v, n))
                    refuse(datName, line, 1, QStringLiteral("n"), text::notWhole.arg(shown(v)));
            } else if (field == 2) {
                double stamp = nan;
                if (!v.isEmpty() && !parseDouble(v, stamp))
                    refuse(datName, line, 2, QStringLiteral("timestamp"), text::notNumber.arg(shown(v)));
                r.stamps.push_back(stamp);
            } else if (field <= 2 + k) {
                double x = nan;
                if (!v.isEmpty() && !parseDouble(v, x))
                    refuse(datName, line, int(field), analogName(field - 3), text::notNumber.arg(shown(v)));
                // 99999 marks a missing sample.
                r.analogs[field - 3].raw.push_back(x == 99999 ? nan : x);
            }
            if (comma < 0)
                break;
            from = comma + 1;
        }
        if (field < fields) {
            const QString name = field == 1 ? QStringLiteral("timestamp")
                : field < 2 + k             ? analogName(field - 2)
                                            : QStringLiteral("D%1").arg(field - 1 - k);
            refuse(datName, line, int(field) + 1, name, text::missingField);
        }
    }
    if (extra > 0)
        r.damage = text::more.arg(r.declaredSamples);
    else if (std::int64_t(r.stamps.size()) < r.declaredSamples)
        r.damage = text::fewer.arg(r.stamps.size()).arg(r.declaredSamples);
}

void readBinary(ComtradeRecord& r, QByteArrayView dat)
{
    const std::size_t k = r.analogs.size();
    const int width = r.fileType == "BINARY" ? 2 : 4;
    const bool floats = r.fileType == "FLOAT32";
    const std::size_t record = 8 + k * std::size_t(width) + 2 * ((std::size_t(r.digitals) + 15) / 16);
    const std::size_t whole = std::size_t(dat.size()) / record;
    const std::size_t rest = std::size_t(dat.size()) % record;
    const std::size_t count = std::min<std::size_t>(whole, std::size_t(r.declaredSamples));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    r.stamps.resize(count);
    for (auto& c : r.analogs)
        c.raw.resize(count);
    const char* p = dat.data();
    for (std::size_t i = 0; i < count; ++i, p += record) {
        const std::uint32_t stamp = qFromLittleEndian<std::uint32_t>(p + 4);
        r.stamps[i] = stamp == 0xFFFFFFFFu ? nan : double(stamp);
        const char* v = p + 8;
        for (std::size_t c = 0; c < k; ++c, v += width) {
            double x = nan;
            if (width == 2) {
                const auto s = qFromLittleEndian<std::int16_t>(v);
                if (s != std::numeric_limits<std::int16_t>::min())
                    x = s;
            } else if (floats) {
                const auto bits = qFromLittleEndian<std::uint32_t>(v);
                float f = 0;
                std::memcpy(&f, &bits, sizeof f);
                if (std::isfinite(f))
                    x = f;
            } else {
                const auto s = qFromLittleEndian<std::int32_t>(v);
                if (s != std::numeric_limits<std::int32_t>::min())
                    x = s;
            }
            r.analogs[c].raw[i] = x;
        }
    }
    if (whole > std::size_t(r.declaredSamples))
        r.damage = text::more.arg(r.declaredSamples);
    else if (whole < std::size_t(r.declaredSamples))
        r.damage = text::fewer.arg(whole).arg(r.declaredSamples);
    if (rest != 0) {
        const QString part = text::partial.arg(rest);
        r.damage = r.damage.isEmpty() ? part : r.damage + QStringLiteral("; ") + part;
    }
}

ComtradeResult readBoth(QByteArrayView cfg, QByteArrayView dat, const QString& cfgName,
    const QString& datName, const QString& datType = {})
{
    ComtradeResult result;
    try {
        Cfg parsed = parseCfg(cfg, cfgName);
        ComtradeRecord& r = parsed.r;
        if (!datType.isEmpty()) {
            const bool binarySection = datType != QLatin1String("ASCII");
            if (binarySection != (r.fileType != "ASCII"))
                refuse(datName, 0, 0, QString(),
                    text::typeMismatch.arg(datType, QString::fromLatin1(r.fileType)));
        }
        if (r.fileType == "ASCII")
            readAscii(r, dat, datName);
        else
            readBinary(r, dat);
        computeTimes(r, datName);
        result.record = std::move(r);
    } catch (const Refused& refused) {
        result.error = refused.error;
    }
    return result;
}

} // namespace

QString ComtradeError::message() const
{
    if (line <= 0)
        return text::fileOnly.arg(file, why);
    if (field <= 0)
        return text::lineOnly.arg(file).arg(line).arg(why);
    return (binary ? text::recordField : text::lineField).arg(file).arg(line).arg(field).arg(name, why);
}

ComtradeResult readComtrade(
    const QByteArray& cfg, const QByteArray& dat, const QString& cfgName, const QString& datName)
{
    return readBoth(cfg, dat, cfgName, datName);
}

ComtradeResult readComtradeCff(const QByteArray& cff)
{
    QByteArrayView all(cff);
    if (all.startsWith("\xEF\xBB\xBF"))
        all = all.sliced(3);
    std::optional<QByteArrayView> cfg;
    std::optional<QByteArrayView> dat;
    QString datType;
    qsizetype at = 0;
    std::int64_t lineNo = 0;
    const auto lineAt = [&](qsizetype from, qsizetype& end) {
        end = all.indexOf('\n', from);
        if (end < 0)
            end = all.size();
        return trimmed(all.sliced(from, end - from));
    };
    const auto header = [](QByteArrayView l) -> std::optional<QByteArray> {
        if (!l.startsWith("---") || !l.endsWith("---") || l.size() < 6)
            return std::nullopt;
        QByteArray inner = trimmed(l.sliced(3, l.size() - 6)).toByteArray().toUpper();
        if (!inner.startsWith("FILE TYPE:"))
            return std::nullopt;
        return inner.mid(10).trimmed();
    };
    ComtradeResult result;
    std::optional<QByteArray> type;
    while (at < all.size()) {
        qsizetype end = 0;
        const QByteArrayView l = lineAt(at, end);
        ++lineNo;
        type = header(l);
        if (!type) {
            if (!l.isEmpty()) {
                result.error = ComtradeError{QStringLiteral("CFF"), lineNo, 0, QString(), text::noHeader};
                return result;
            }
            at = end + 1;
            continue;
        }
        const qsizetype body = std::min(end + 1, all.size());
        if (type->startsWith("DAT BINARY")) {
            const qsizetype colon = type->indexOf(':');
            std::int64_t count = 0;
            if (colon < 0 || !parseInt(trimmed(QByteArrayView(*type).sliced(colon + 1)), count)
                || count < 0) {
                result.error = ComtradeError{QStringLiteral("CFF"), lineNo, 0, QString(),
                    text::badCount.arg(
                        shown(colon < 0 ? QByteArrayView() : QByteArrayView(*type).sliced(colon + 1)))};
                return result;
            }
            // Never past the file's end, whatever the header says: the data's reader then says
            // how many samples were whole.
            const qsizetype bytes = qsizetype(std::min<std::int64_t>(count, all.size() - body));
            dat = all.sliced(body, bytes);
            datType = QStringLiteral("BINARY");
            at = body + bytes;
            // Lines after the data are counted from here on as they come.
            continue;
        }
        // A text section runs to the next header line.
        qsizetype stop = body;
        std::int64_t lines = 0;
        while (stop < all.size()) {
            qsizetype e = 0;
            if (header(lineAt(stop, e)))
                break;
            stop = e + 1;
            ++lines;
        }
        stop = std::min(stop, all.size());
        const QByteArrayView section = all.sliced(body, stop - body);
        if (*type == "CFG")
            cfg = section;
        else if (type->startsWith("DAT")) {
            dat = section;
            datType = QStringLiteral("ASCII");
        }
        lineNo += lines;
        at = stop;
    }
    if (cfg && !dat) {
        ComtradeResult cfgAlone = readBoth(*cfg, {}, QStringLiteral("CFG"), QStringLiteral("DAT"));
        if (!cfgAlone.record && cfgAlone.error.file == QLatin1String("CFG"))
            return cfgAlone;
    }
    if (!cfg || !dat) {
        result.error = ComtradeError{QStringLiteral("CFF"), 0, 0, QString(),
            text::noSection.arg(!cfg ? QStringLiteral("CFG") : QStringLiteral("DAT"))};
        return result;
    }
    return readBoth(*cfg, *dat, QStringLiteral("CFG"), QStringLiteral("DAT"), datType);
}

ComtradeResult readComtradeFile(const QString& path)
{
    ComtradeResult result;
    const auto open = [&](QFile& file, QByteArrayView& bytes) {
        if (!file.open(QIODevice::ReadOnly)) {
            result.error = ComtradeError{QFileInfo(file.fileName()).fileName(), 0, 0, QString(),
                text::cannotOpen.arg(file.errorString())};
            return false;
        }
        // Mapped, not read: memory follows what is used, and an empty file maps to nothing.
        if (file.size() > 0) {
            const uchar* p = file.map(0, file.size());
            if (!p) {
                result.error = ComtradeError{QFileInfo(file.fileName()).fileName(), 0, 0, QString(),
                    text::cannotOpen.arg(file.errorString())};
                return false;
            }
            bytes = QByteArrayView(reinterpret_cast<const char*>(p), file.size());
        }
        return true;
    };
    QFileInfo info(path);
    // NAME.dat chosen: its NAME.cfg is the record.
    if (info.suffix().compare(QLatin1String("dat"), Qt::CaseInsensitive) == 0) {
        const QString base = info.path() + QLatin1Char('/') + info.completeBaseName();
        const bool upper = info.suffix() == QLatin1String("DAT");
        const QString cfg = base + (upper ? QStringLiteral(".CFG") : QStringLiteral(".cfg"));
        info.setFile(
            QFileInfo::exists(cfg) ? cfg : base + (upper ? QStringLiteral(".cfg") : QStringLiteral(".CFG")));
    }
    QFile first(info.filePath());
    QByteArrayView firstBytes;
    if (!open(first, firstBytes))
        return result;
    if (info.suffix().compare(QLatin1String("cff"), Qt::CaseInsensitive) == 0)
        return readComtradeCff(QByteArray::fromRawData(firstBytes.data(), firstBytes.size()));
    // NAME.dat beside NAME.cfg, in the case the .cfg's suffix has.
    const QString base = info.path() + QLatin1Char('/') + info.completeBaseName();
    const bool upper = info.suffix() == QLatin1String("CFG");
    QString datPath = base + (upper ? QStringLiteral(".DAT") : QStringLiteral(".dat"));
    if (!QFileInfo::exists(datPath)
        && QFileInfo::exists(base + (upper ? QStringLiteral(".dat") : QStringLiteral(".DAT"))))
        datPath = base + (upper ? QStringLiteral(".dat") : QStringLiteral(".DAT"));
    QFile second(datPath);
    QByteArrayView datBytes;
    if (!open(second, datBytes)) {
        // A broken .cfg says more than a missing .dat.
        ComtradeResult cfgAlone = readBoth(firstBytes, {}, info.fileName(), QString());
        if (!cfgAlone.record && cfgAlone.error.file == info.fileName())
            return cfgAlone;
        return result;
    }
    return readBoth(firstBytes, datBytes, info.fileName(), QFileInfo(second.fileName()).fileName());
}

namespace {

struct Prefix {
    const char16_t* text;
    int exponent;
};
const Prefix kPrefixes[] = {{u"T", 12}, {u"G", 9}, {u"M", 6}, {u"k", 3}, {u"", 0}, {u"m", -3},
    {u"\u00B5", -6}, {u"u", -6}, {u"\u03BC", -6}, {u"n", -9}, {u"p", -12}};
// Units that take an SI prefix.
const char16_t* const kBaseUnits[] = {u"V", u"A", u"W", u"VA", u"var", u"VAr", u"VAR", u"Hz", u"\u03A9",
    u"\u2126", u"Ohm", u"ohm", u"s", u"Wh", u"VAh", u"varh", u"Wb", u"N", u"Pa", u"J"};

bool isBase(const QString& unit)
{
    return std::any_of(std::begin(kBaseUnits), std::end(kBaseUnits),
        [&](const char16_t* b) { return unit == QString::fromUtf16(b); });
}

} // namespace

QString comtradeScaledUnit(const QString& unit, int exponent)
{
    if (exponent == 0)
        return unit;
    QString base = unit;
    int power = 0;
    if (!isBase(unit)) {
        for (const Prefix& p : kPrefixes) {
            const QString prefix = QString::fromUtf16(p.text);
            if (!prefix.isEmpty() && unit.startsWith(prefix) && isBase(unit.mid(prefix.size()))) {
                base = unit.mid(prefix.size());
                power = p.exponent;
                break;
            }
        }
    }
    const int total = power + exponent;
    if (isBase(base)) {
        for (const Prefix& p : kPrefixes)
            if (p.exponent == total)
                return QString::fromUtf16(p.text) + base;
    }
    return QStringLiteral("%1 \u00D710^%2").arg(base).arg(exponent).trimmed();
}

ComtradeScale comtradeScale(const QString& unit, double quantum, double largest)
{
    // Whole numbers up to this keep clear of the 32-bit ends.
    constexpr double kFits = 2e9;
    int exponent = 0;
    if (quantum > 0 && std::isfinite(quantum)) {
        while (exponent > -12 && std::pow(10.0, exponent) > quantum)
            exponent -= 3;
    }
    while (exponent < 12 && largest / std::pow(10.0, exponent) > kFits)
        exponent += 3;
    return ComtradeScale{exponent, comtradeScaledUnit(unit, exponent)};
}
