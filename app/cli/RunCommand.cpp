#include "RunCommand.h"

#include "RecordCommand.h"
#include "archive/ArchiveStore.h"
#include "archive/CaptureRecorder.h"
#include "common/Cp1251.h"
#include "serial/ComPort.h"
#include "session/DeviceSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {

// What arrived instead is told by its last few items.
constexpr int kToldItems = 5;

QString told(const QStringList& items)
{
    if (items.isEmpty())
        return QStringLiteral("нищо");
    return items.mid(std::max<qsizetype>(0, items.size() - kToldItems)).join(QStringLiteral(" | "));
}

QString recordText(const TSeenRecord& r)
{
    QString text = r.type;
    for (const auto& [name, value] : r.fields)
        text += QStringLiteral(" %1=%2").arg(name, value);
    return text;
}

} // namespace

TRunCommand::TRunCommand(
    TRecordCommand& session, std::vector<TScriptStep> steps, std::FILE* out, std::FILE* err, QObject* parent)
    : QObject(parent)
    , session_(session)
    , steps_(std::move(steps))
    , out_(out)
    , err_(err)
{
    TDeviceSession& s = session_.session();
    connect(&s, &TDeviceSession::received, this, &TRunCommand::addReceived);
    // The outcome points into the line: read during the call.
    connect(
        &s, &TDeviceSession::lineHandled, this,
        [this](const TLineOutcome& outcome) {
            if (!outcome.isRecord() || outcome.type.empty())
                return;
            static const char* const kNames[] = {"voltage", "current", "temperature"};
            TSeenRecord r;
            r.type = QString::fromLatin1(outcome.type.data(), qsizetype(outcome.type.size()));
            for (int i = 0; i < outcome.readingCount; ++i) {
                const TLineOutcome::Reading& reading = outcome.readings[std::size_t(i)];
                r.fields.emplace_back(
                    QString::fromLatin1(kNames[int(reading.which)]), QString::number(reading.value));
            }
            if (!outcome.eventName.empty())
                r.fields.emplace_back(QStringLiteral("event"),
                    QString::fromLatin1(outcome.eventName.data(), qsizetype(outcome.eventName.size())));
            records_.push_back(r);
        },
        Qt::DirectConnection);
}

void TRunCommand::addReceived(const QByteArray& text)
{
    partial_ += text;
    qsizetype start = 0;
    for (qsizetype i = 0; i < partial_.size(); ++i) {
        if (partial_[i] != '\r' && partial_[i] != '\n')
            continue;
        if (i > start)
            lines_.push_back(cp1251::decode(partial_.mid(start, i - start)));
        start = i + 1;
    }
    partial_.remove(0, start);
}

bool TRunCommand::waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (aborted_ || t.elapsed() >= ms || !session_.port().Connected())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

TRunCommand::Result TRunCommand::fail(const TScriptStep& step, const QString& what)
{
    std::fprintf(err_, "orvik-cli: ред %d: %s\n  %s\n", step.line, qPrintable(step.source), qPrintable(what));
    return Failed;
}

TRunCommand::Result TRunCommand::linkLost(const TScriptStep& step)
{
    std::fprintf(err_, "orvik-cli: ред %d: %s\n  %s\n", step.line, qPrintable(step.source),
        aborted_ ? "прекъснато" : "връзката прекъсна");
    return LinkError;
}

TRunCommand::Result TRunCommand::run()
{
    for (const TScriptStep& step : steps_) {
        if (aborted_ || !session_.port().Connected())
            return linkLost(step);
        switch (step.kind) {
        case TScriptStep::Kind::Log:
            std::fprintf(out_, "%s\n", qPrintable(step.text));
            std::fflush(out_);
            break;
        case TScriptStep::Kind::Send:
            session_.session().send(cp1251::encode(step.text));
            break;
        case TScriptStep::Kind::Wait:
            waitFor([] { return false; }, step.ms);
            if (aborted_ || !session_.port().Connected())
                return linkLost(step);
            break;
        case TScriptStep::Kind::Expect: {
            QStringList seen;
            const bool met = waitFor(
                [&] {
                    while (!lines_.empty()) {
                        const QString line = lines_.front();
                        lines_.pop_front();
                        if (step.pattern.match(line).hasMatch())
                            return true;
                        seen << line;
                    }
                    return false;
                },
                step.ms);
            if (!met)
                return aborted_ || !session_.port().Connected()
                    ? linkLost(step)
                    : fail(step, QStringLiteral("не дойде за %1 ms; дойде: %2").arg(step.ms).arg(told(seen)));
            break;
        }
        case TScriptStep::Kind::ExpectRecord: {
            QStringList seen;
            const bool met = waitFor(
                [&] {
                    while (!records_.empty()) {
                        const TSeenRecord r = records_.front();
                        records_.pop_front();
                        if (recordMatches(step, r))
                            return true;
                        if (r.type == step.recordType)
                            seen << recordText(r);
                    }
                    return false;
                },
                step.ms);
            if (!met)
                return aborted_ || !session_.port().Connected()
                    ? linkLost(step)
                    : fail(step,
                        QStringLiteral("не дойде за %1 ms; записи %2: %3")
                            .arg(step.ms)
                            .arg(step.recordType, told(seen)));
            break;
        }
        case TScriptStep::Kind::ExportCapture: {
            // The capture under way counts as the last: handed over and stored first.
            session_.recorder().flush();
            ArchiveStore& archive = session_.archive();
            waitFor([&] { return archive.waiting() == 0; }, kDefaultTimeoutMs);
            const std::int64_t id = session_.lastCaptureId();
            if (id == 0)
                return fail(step, QStringLiteral("в архива няма съхранен запис"));
            const ExportFormat format
                = step.text.endsWith(QLatin1String(".csv")) ? ExportFormat::Csv : ExportFormat::Comtrade;
            std::optional<ExportResult> result;
            const QMetaObject::Connection c
                = onArchiveAnswer<ExportResult>(archive, this, [&](const ExportResult& r) {
                      if (r.id == id)
                          result = r;
                  });
            archive.ask(ExportCapture{id, format, step.text});
            waitFor([&] { return result.has_value(); }, 30000);
            disconnect(c);
            if (!result)
                return fail(step, QStringLiteral("архивът не отговори"));
            if (result->outcome != ExportOutcome::Written)
                return fail(step, QStringLiteral("запис %1 не е изнесен: %2").arg(id).arg(result->error));
            break;
        }
        }
    }
    return Passed;
}
