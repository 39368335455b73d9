// orvik-cli: the console's device session without a window, for benches and services.
#include "CliSettings.h"
#include "RecordCommand.h"
#include "ReplayCommand.h"
#include "RunCommand.h"
#include "common/Version.h"
#include "console/core/AppPaths.h"
#include "console/core/IniFile.h"
#include "console/core/TerminationSignals.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

const char* const kUsage = R"(Употреба: orvik-cli record --port ИМЕ [--settings ФАЙЛ] [--archive ФАЙЛ]
                        [--duration СЕКУНДИ] [--session ФАЙЛ]
       orvik-cli replay ФАЙЛ [--speed КРАТНО|max] [--archive ФАЙЛ] [--settings ФАЙЛ]
       orvik-cli run СЦЕНАРИЙ [--port ИМЕ] [--settings ФАЙЛ] [--archive ФАЙЛ]
       orvik-cli --help | --version
Orvik без прозорец: връзка с диагностичното устройство, отговори на записите му като
конзолата, архив и журнал, за стенд без оператор и за услуга.

record  свързва се с порта и записва: уловените записи и журналът отиват в архива, а
        всеки ред от журнала, всяка промяна на връзката и всеки съхранен запис се
        извеждат като JSON обект на ред. Спира при SIGTERM, SIGINT или след --duration;
        архивът се записва докрай.

replay  подава запис на сесия (--session) през анализатора: записите и журналът в архива
        са като при записа, със същите времена. --speed 10 е десетократно по-бързо,
        max е колкото може (по подразбиране в реално време).

run     изпълнява сценарий, по стъпка на ред: send ТЕКСТ, expect РЕГ_ИЗРАЗ [ВРЕМЕ],
        expect-record ТИП [ПОЛЕ ОП СТОЙНОСТ] [ВРЕМЕ], wait ВРЕМЕ,
        export-capture last ФАЙЛ.cfg|ФАЙЛ.csv, log ТЕКСТ, # коментар.
        Изход 0, когато всяка стъпка мине, 1 при неизпълнено очакване (редът и какво
        дойде вместо това са на стандартната грешка), 2 при грешка във връзката.

  --port ИМЕ          портът (както в конзолата: /dev/ttyUSB0, път на псевдотерминал);
                      за run по подразбиране този от настройките
  --settings ФАЙЛ     файлът с настройки на конзолата (по подразбиране нейният Orvik.ini)
  --archive ФАЙЛ      архивът (по подразбиране този на конзолата)
  --duration СЕКУНДИ  спира след толкова секунди
  --session ФАЙЛ      записва суровия трафик в двете посоки в ФАЙЛ (за replay)
  -h, --help          показва този текст и излиза
  --version           показва версията и излиза

Изход на record: 0 при нормален край, 1 ако нещо не се записа в архива, 2 при грешка
във връзката или в командния ред.
Повече: man orvik-cli.
)";

int usageError(const char* message, const char* what = "")
{
    std::fprintf(stderr, "orvik-cli: %s%s\nОпитайте „orvik-cli --help“.\n", message, what);
    return 2;
}

struct Args {
    bool run = false;
    bool replay = false;
    QString session;
    double speed = 1;
    QString script;
    QString port;
    QString settings;
    QString archive;
    double duration = 0;
};

} // namespace

int main(int argc, char** argv)
{
    // Answered before any application object exists.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvik-cli %s\n", orvik::kVersion);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    if (argc < 2)
        return usageError("липсва команда");
    Args args;
    int first = 2;
    if (std::strcmp(argv[1], "run") == 0) {
        if (argc < 3 || argv[2][0] == '-')
            return usageError("липсва сценарий");
        args.run = true;
        args.script = QString::fromLocal8Bit(argv[2]);
        first = 3;
    } else if (std::strcmp(argv[1], "replay") == 0) {
        if (argc < 3 || argv[2][0] == '-')
            return usageError("липсва запис на сесия");
        args.replay = true;
        args.script = QString::fromLocal8Bit(argv[2]);
        first = 3;
    } else if (std::strcmp(argv[1], "record") != 0)
        return usageError("непозната команда: ", argv[1]);

    for (int i = first; i < argc; ++i) {
        const char* a = argv[i];
        const bool hasValue = i + 1 < argc;
        const auto value = [&] { return QString::fromLocal8Bit(argv[++i]); };
        if (std::strcmp(a, "--port") == 0 && hasValue)
            args.port = value();
        else if (std::strcmp(a, "--settings") == 0 && hasValue)
            args.settings = value();
        else if (std::strcmp(a, "--archive") == 0 && hasValue)
            args.archive = value();
        else if (std::strcmp(a, "--session") == 0 && hasValue && !args.run && !args.replay)
            args.session = value();
        else if (std::strcmp(a, "--speed") == 0 && hasValue && args.replay) {
            const QString v = value();
            bool ok = true;
            args.speed = v == QLatin1String("max") ? 0 : v.toDouble(&ok);
            if (!ok || args.speed < 0)
                return usageError("невярна скорост: ", argv[i]);
        } else if (std::strcmp(a, "--duration") == 0 && hasValue && !args.run && !args.replay) {
            bool ok = false;
            args.duration = value().toDouble(&ok);
            if (!ok || args.duration <= 0)
                return usageError("невярна продължителност: ", argv[i]);
        } else
            return usageError("непозната или непълна опция: ", a);
    }
    if (args.port.isEmpty() && !args.run && !args.replay)
        return usageError("липсва --port");
    std::vector<TScriptStep> steps;
    if (args.run) {
        QFile file(args.script);
        if (!file.open(QIODevice::ReadOnly))
            return usageError("сценарият не се чете: ", argv[2]);
        QString error;
        auto parsed = parseScript(QString::fromUtf8(file.readAll()), error);
        if (!parsed)
            return usageError(qPrintable(args.script + QStringLiteral(": ") + error));
        steps = std::move(*parsed);
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvik-cli"));
    const TAppPaths paths = TAppPaths::forRunningProgram();
    const QString settingsFile = args.settings.isEmpty() ? paths.settingsFile() : args.settings;
    if (!args.settings.isEmpty() && !QFileInfo::exists(settingsFile))
        return usageError("няма такъв файл с настройки: ", qPrintable(settingsFile));
    TCliSettings settings = TCliSettings::read(TIniFile(settingsFile), paths.dataFolder());
    if (!args.port.isEmpty())
        settings.port = args.port;
    if (!args.archive.isEmpty())
        settings.archiveFile = args.archive;

    if (args.replay)
        return runReplay({args.script, args.speed}, settings, stdout, stderr);

    // A script's output is its log lines; the JSON lines are record's.
    TRecordCommand record(settings, args.run ? nullptr : stdout);
    if (!record.start(args.session)) {
        std::fprintf(stderr, "orvik-cli: %s: %s\n", qPrintable(settings.port), qPrintable(record.error()));
        record.stop();
        return 2;
    }
    TTerminationSignals termination;
    if (args.run) {
        TRunCommand run(record, std::move(steps), stdout, stderr);
        QObject::connect(&termination, &TTerminationSignals::Received, &run, &TRunCommand::abort);
        const TRunCommand::Result result = run.run();
        record.stop();
        return int(result);
    }
    QObject::connect(&termination, &TTerminationSignals::Received, &app, [] { QCoreApplication::exit(0); });
    if (args.duration > 0)
        QTimer::singleShot(qint64(args.duration * 1000), &app, [] { QCoreApplication::exit(0); });
    app.exec();
    const std::int64_t unstored = record.stop();
    if (unstored > 0) {
        std::fprintf(stderr, "orvik-cli: неписани в архива: %lld\n", static_cast<long long>(unstored));
        return 1;
    }
    return 0;
}
