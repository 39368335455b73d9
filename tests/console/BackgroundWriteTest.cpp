// The one background file writer: the bytes arrive whole, a failure is answered with its reason,
// and a receiver gone meanwhile hears nothing.
#include "common/BackgroundWrite.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs the event loop until the answer came or the deadline passed.
std::optional<QString> answerOf(QObject& receiver, const QString& path, const QByteArray& bytes)
{
    std::optional<QString> answer;
    writeFileInBackground(&receiver, path, bytes, [&answer](const QString& error) { answer = error; });
    const QDeadlineTimer deadline(10000);
    while (!answer && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return answer;
}

TEST(BackgroundWrite, TheWholeFileOrTheReason)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.csv"));
    QObject receiver;
    QByteArray big(3 << 20, 'x');
    big.back() = 'y';

    struct Case {
        QString path;
        QByteArray bytes;
        bool fails;
        QByteArray left; // what the file holds afterwards
    };
    const Case cases[] = {
        {file, "old\r\n", false, "old\r\n"}, {file, big, false, big}, // replaces the shorter file wholly
        {dir.filePath(QStringLiteral("missing/out.csv")), "x", true, {}},
        {dir.path(), "x", true, {}}, // a folder where the file should be
    };
    for (const Case& c : cases) {
        const auto answer = answerOf(receiver, c.path, c.bytes);
        ASSERT_TRUE(answer.has_value()) << c.path.toStdString();
        EXPECT_EQ(!answer->isEmpty(), c.fails) << c.path.toStdString() << ": " << answer->toStdString();
        if (!c.fails) {
            EXPECT_EQ(readAll(c.path), c.left);
        }
    }
    EXPECT_EQ(readAll(file), big);
}

TEST(BackgroundWrite, AReceiverGoneMeanwhileHearsNothing)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("out.txt"));
    bool called = false;
    {
        QObject receiver;
        writeFileInBackground(
            &receiver, file, QByteArray("text"), [&called](const QString&) { called = true; });
    }
    const QDeadlineTimer deadline(10000);
    while (readAll(file) != "text" && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents(); // the answer's turn
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(readAll(file), "text");
    EXPECT_FALSE(called);
}

} // namespace
