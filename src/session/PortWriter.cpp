#include "session/PortWriter.h"

#include <utility>

TPortWriter::TPortWriter(TWriteTarget& target)
    : target_(target)
{
}

bool TPortWriter::write(const QByteArrayList& texts)
{
    const QByteArray bytes = texts.join();
    if (bytes.isEmpty())
        return true;
    if (!stalled_) {
        const TWriteTarget::Outcome outcome = target_.write(bytes, true);
        if (outcome.failure.isEmpty())
            return true;
        stalled_ = true;
        failure_ = outcome.failure;
        dropped_ = 0;
        keepCutText(texts, outcome.written);
        return false;
    }
    if (!rest_.isEmpty()) {
        rest_.remove(0, target_.write(rest_, false).written);
        if (!rest_.isEmpty()) {
            dropped_ += int(texts.size());
            return false;
        }
    }
    const qsizetype written = target_.write(bytes, false).written;
    if (written == bytes.size()) {
        endStall();
        return true;
    }
    keepCutText(texts, written);
    return false;
}

void TPortWriter::keepCutText(const QByteArrayList& texts, qsizetype written)
{
    // The texts written whole went out; the one cut keeps its rest; those after it are dropped.
    for (const QByteArray& text : texts) {
        if (written >= text.size()) {
            written -= text.size();
            continue;
        }
        if (written > 0)
            rest_ = text.mid(written);
        else
            ++dropped_;
        written = 0;
    }
}

void TPortWriter::portClosed()
{
    rest_.clear();
    if (stalled_)
        endStall();
}

void TPortWriter::endStall()
{
    stalled_ = false;
    const QString failure = std::exchange(failure_, {});
    const int dropped = std::exchange(dropped_, 0);
    if (OnStallEnded)
        OnStallEnded(failure, dropped);
}
