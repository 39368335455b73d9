#pragma once
// Everything the window sends goes out through here: the answers to a received block and the
// operator's commands. A device that stops reading costs one write timeout, not one per
// write: once a write has given up, later writes only try what the port takes at once, and
// what it does not take is dropped and counted, so nothing queues up without bound. The stall
// ends by itself at the first write the port takes whole, and is then reported once, with the
// count.

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <functional>

// The port as the writer needs it.
class TWriteTarget {
public:
    struct Outcome {
        qsizetype written = 0;
        QString failure; // why a waiting write gave up before writing all
    };
    virtual ~TWriteTarget() = default;
    // With wait, writes all or gives up after the port's write timeout; without, writes
    // what the port takes at once. Other failures throw.
    virtual Outcome write(QByteArrayView bytes, bool wait) = 0;
};

class TPortWriter {
public:
    explicit TPortWriter(TWriteTarget& target);

    // Writes the texts in order as one write; false when not all of them went out whole.
    bool write(const QByteArrayList& texts);
    // The port closed: a stall ends there and is reported; a cut text is forgotten.
    void portClosed();

    bool stalled() const { return stalled_; }
    // Texts dropped in the current stall.
    int dropped() const { return dropped_; }

    // The end of a stall: the failure that began it and the number of texts dropped.
    std::function<void(const QString& failure, int dropped)> OnStallEnded;

private:
    void keepCutText(const QByteArrayList& texts, qsizetype written);
    void endStall();

    TWriteTarget& target_;
    bool stalled_ = false;
    QString failure_;
    int dropped_ = 0;
    // The rest of a text the device got only the head of: it goes first once the device
    // reads again, so that the device never sees a cut text run into the next one.
    QByteArray rest_;
};
