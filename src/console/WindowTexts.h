#pragma once
// The main window's own texts, for all its pages, in one place.

#include <QString>

namespace text {
inline const QString caption
    = QStringLiteral("Orvik  v1.8 -  Комплекс за изследване на аварийни процеси - ЖБФ");
inline const QString pageTerminal = QStringLiteral("Терминал");
inline const QString pageSetup = QStringLiteral("Настройки");
inline const QString pageScope = QStringLiteral("Графични данни");
inline const QString pageHelp = QStringLiteral("Помощ");
inline const QString pageJournal = QStringLiteral("Журнал");
inline const QString pageArchive = QStringLiteral("Архив");

// Terminal page.
inline const QString command = QStringLiteral("COMMAND:");
inline const QString send = QStringLiteral("Изпрати -->>");
inline const QString sendHint = QStringLiteral("Sending The Command");
inline const QString groupControls = QStringLiteral(" Контроли: ( натисни и задръж CTRL ) ");
inline const QString groupDevices = QStringLiteral(" Устройства: ");
inline const QString groupMeasurements = QStringLiteral(" Измервания: ");
inline const QString groupLine = QStringLiteral(" Настройки: ");
inline const QString status = QStringLiteral("Статус:");
// Terminal page: recording and replaying sessions.
inline const QString recordSession = QStringLiteral("Запиши сесия");
inline const QString recordSessionHint
    = QStringLiteral("Записва суровия обмен с устройството във файл, за да бъде възпроизведен по-късно");
inline const QString replaySession = QStringLiteral("Възпроизведи сесия");
inline const QString replaySessionHint
    = QStringLiteral("Възпроизвежда записана сесия в прозореца: показания, графика, журнал и архив");
inline const QString replaySpeedHint = QStringLiteral("Скорост на възпроизвеждането");
inline const QString replayFastest = QStringLiteral("най-бързо");
inline const QString sessionFilter = QStringLiteral("Записи на сесии (*.ses);;Всички файлове (*)");
inline const QString chooseRecording = QStringLiteral("Запис на сесия");
inline const QString recordingTo = QStringLiteral("Записва се в %1");
inline const QString recordingFailed = QStringLiteral("Сесията не може да се запише в %1: %2");
inline const QString replayFailed = QStringLiteral("Сесията %1 не може да се възпроизведе: %2");
inline const QString replayNeedsClosedPort
    = QStringLiteral("Затворете връзката с устройството, преди да възпроизвеждате сесия");
inline const QString replayProgress = QStringLiteral("Възпроизвеждане на %1: %2 %");
inline const QString replayTruncated = QStringLiteral(" (краят е отрязан)");
inline const QString replayDone = QStringLiteral("Сесията %1 е възпроизведена");
inline const QString replayStopped = QStringLiteral("Възпроизвеждането на сесията %1 е спряно");

// Settings page.
inline const QString groupConnection = QStringLiteral(" Connection Type ");
inline const QString connectionNone = QStringLiteral("Изключен");
inline const QString autoReconnect = QStringLiteral("Автоматично свързване");
inline const QString rsSetup = QStringLiteral("RS232 Настройки");
inline const QString lptSetup = QStringLiteral("LPT  Настройки");
inline const QString usbSetup = QStringLiteral("USB  Настройки");
inline const QString terminalSetup = QStringLiteral("Терминал");
inline const QString port = QStringLiteral("Port:");
inline const QString closed = QStringLiteral("Closed");
inline const QString baud = QStringLiteral("Baud:");
inline const QString notSet = QStringLiteral("Not Set");
inline const QString groupColors = QStringLiteral("Color Settings");
inline const QString mainColor = QStringLiteral("основен цвят");
inline const QString terminalBack = QStringLiteral("Фон на терминала:");
inline const QString terminalFont = QStringLiteral("Шрифт на терминала:");
inline const QString echoFont = QStringLiteral("Шрифт ехо:");
inline const QString groupLog = QStringLiteral(" Записване на данни: ");
inline const QString logIncoming = QStringLiteral("Входящи данни");
inline const QString logOutgoing = QStringLiteral("Изходящи данни");
inline const QString appendLog = QStringLiteral("Добави към лог");
inline const QString newLog = QStringLiteral("Създай нов");
inline const QString chooseLog = QStringLiteral("Избери лог файл:");
inline const QString viewLog = QStringLiteral("Покажи лог файла");
inline const QString groupGlobal = QStringLiteral(" Глобални настройки: ");
inline const QString loadFromFile = QStringLiteral("Зареди от файл");
inline const QString saveToFile = QStringLiteral("Запази във файл");
inline const QString iniFilter = QStringLiteral("INI File (*.ini)");
inline const QString textFilter = QStringLiteral("Text File (*.txt);;All (*)");

// Scope page.
inline const QString groupStatistics = QStringLiteral(" Статистика: ");
inline const QString voltage = QStringLiteral("Напрежение:");
inline const QString current = QStringLiteral("Ток:");
inline const QString temperature = QStringLiteral("Температура:");
inline const QString limit = QStringLiteral("Граница:");
inline const QString reset = QStringLiteral("Нулиране");
inline const QString groupEvents = QStringLiteral(" Аварийни събития: ");
inline const QString savePicture = QStringLiteral("Запис на графиката");
inline const QString pictureFilter = QStringLiteral("Картини PNG (*.png)");

// Help page.
inline const QString helpOverview = QStringLiteral("ОБЩА ХАРАКТЕРИСТИКА");
inline const QString scheme = QStringLiteral("Схема %1");
inline const QString winCalc = QStringLiteral("Windows калкулатор");
inline const QString ownCalc = QStringLiteral("Вграден  калкулатор");

// Dialogs, tray, status and reports.
inline const QString warningCaption = QStringLiteral("Connection Error");
inline const QString warningMessage = QStringLiteral("Not Connected !  Go to Setup tab.");
inline const QString trayHint = QStringLiteral("Minimize to tray");
inline const QString stateClosed = QStringLiteral("Изключен");
inline const QString stateOpen = QStringLiteral("Свързан: %1 %2");
inline const QString stateOpening = QStringLiteral("Свързване с %1…");
inline const QString stateLost = QStringLiteral("Връзката прекъсна: %1");
inline const QString stateWaiting = QStringLiteral("Изчакване на %1…");
inline const QString stateRefused = QStringLiteral("Под %1 е друго устройство (%2); изчакване…");
inline const QString stateFailing = QStringLiteral("Изчакване на %1: %2");
inline const QString logWriteFailed = QStringLiteral("Грешка при запис в лог файла %1: %2");
inline const QString unknownError = QStringLiteral("Неочаквана грешка");
inline const QString stallEnded
    = QStringLiteral("%1\n\nУстройството не приемаше данни; неизпратени отговори и команди: %2.");
} // namespace text
