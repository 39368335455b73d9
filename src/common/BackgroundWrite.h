#pragma once
// Writes a file away from the user-interface thread, all or nothing: the bytes go beside the
// file and take its place once complete, so a failed write leaves an older file as it was.
// `done` runs later on the receiver's thread, with an empty text or the error, unless the
// receiver is gone by then.

#include "common/QueuedCall.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSaveFile>
#include <QString>
#include <QThreadPool>
#include <functional>

namespace background_write {

// The mark of a job's hand-over to the pool; the job reads its own captures only after it.
inline const char handOver = 0;

// The pool thread knows only this object, which nobody else deletes; whether the receiver is
// still there is asked on the receiver's own thread.
class Answer : public QObject {
public:
    QPointer<QObject> receiver;
    std::function<void(const QString& error)> done;
    void give(const QString& error)
    {
        if (receiver && done)
            done(error);
        deleteLater();
    }
};

} // namespace background_write

// `produce` runs on the worker too: encoding a large picture or text is work to keep off the
// window's thread as well.
inline void writeFileInBackground(QObject* receiver, const QString& path, std::function<QByteArray()> produce,
    std::function<void(const QString& error)> done)
{
    auto* answer = new background_write::Answer;
    answer->moveToThread(receiver->thread());
    answer->receiver = receiver;
    answer->done = std::move(done);
    std::function<void()> job = [answer, path, produce = std::move(produce)] {
        serial_detail::handOverAcquire(&background_write::handOver);
        const QByteArray bytes = produce();
        QSaveFile file(path);
        QString error;
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            error = file.errorString();
        postQueuedCall(answer, [answer, error] { answer->give(error); });
    };
    // The pool hands the job over under a lock inside Qt, which the thread checker cannot see.
    serial_detail::handOverRelease(&background_write::handOver);
    QThreadPool::globalInstance()->start(std::move(job));
}

inline void writeFileInBackground(
    QObject* receiver, const QString& path, QByteArray bytes, std::function<void(const QString& error)> done)
{
    writeFileInBackground(
        receiver, path, [bytes = std::move(bytes)] { return bytes; }, std::move(done));
}
