// The record parser on arbitrary device traffic: fed whole and in random chunks it must make
// the same calls on the window, answer only "OK", keep its pending line and its sample store
// bounded, and never crash.

#include "FuzzInput.h"
#include "session/RecordParser.h"

namespace {

class LogView : public TRecordView {
public:
    QByteArray limits[3];
    QByteArray log;

    QByteArray limitText(TLimit which) const override { return limits[int(which)]; }
    void setReadoutText(TReadout which, QByteArrayView text) override
    {
        log += "T" + QByteArray::number(int(which)) + text.toByteArray() + '\n';
    }
    void setReadoutColor(TReadout which, TColor color) override
    {
        log += "C" + QByteArray::number(int(which)) + QByteArray::number(color) + '\n';
    }
    void setCounter(TEvent which, std::uint16_t value, TColor background) override
    {
        log += "N" + QByteArray::number(int(which)) + ' ' + QByteArray::number(value) + ' '
            + QByteArray::number(background) + '\n';
    }
    void eventCounted() override { log += "E\n"; }
    void setLeftAxisTitle(const QString& title) override { log += "L" + title.toUtf8() + '\n'; }
    void setBottomAxisTitle(const QString& title) override { log += "B" + title.toUtf8() + '\n'; }
    void addPoint(double x, double y) override
    {
        log += "P" + QByteArray::number(x, 'g', 17) + ',' + QByteArray::number(y, 'g', 17) + '\n';
    }
    void clearScope() override { log += "X\n"; }
    void send(const QByteArray& text) override
    {
        FUZZ_CHECK(text == "OK");
        log += "S\n";
    }
};

void checkState(const TRecordParser& parser)
{
    FUZZ_CHECK(parser.pendingBytes() <= TRecordParser::kMaxPendingLine);
    FUZZ_CHECK(parser.sampleCount() >= 0 && parser.sampleCount() <= TRecordParser::kSampleCapacity);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t seed = in.byte();
    LogView whole;
    LogView pieces;
    for (int i = 0; i < 3; ++i) {
        const QByteArray limit = in.field();
        whole.limits[i] = limit;
        pieces.limits[i] = limit;
    }
    const QByteArray traffic = in.rest();

    TRecordParser a(whole);
    a.feed(traffic);
    checkState(a);

    TRecordParser b(pieces);
    ChunkSizes chunks(seed);
    for (qsizetype at = 0; at < traffic.size();) {
        const qsizetype n = std::min<qsizetype>(chunks.next(), traffic.size() - at);
        b.feed(QByteArrayView(traffic).sliced(at, n));
        at += n;
        checkState(b);
    }
    FUZZ_CHECK(whole.log == pieces.log);
    FUZZ_CHECK(a.pendingBytes() == b.pendingBytes());
    for (int e = 0; e < kEventCount; ++e)
        FUZZ_CHECK(a.counter(TEvent(e)) == b.counter(TEvent(e)));
    FUZZ_CHECK(a.sampleCount() == b.sampleCount());
    for (int k = 1; k <= a.sampleCount(); ++k)
        FUZZ_CHECK(a.sample(k) == b.sample(k));

    // A partial line dropped leaves nothing behind; the resets leave an empty state.
    a.dropPartialLine();
    FUZZ_CHECK(a.pendingBytes() == 0);
    a.resetCounters();
    a.resetReadouts();
    a.resetScope();
    FUZZ_CHECK(a.sampleCount() == 0);
    return 0;
}
