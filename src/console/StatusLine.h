#pragma once
// TStatusLine: the line at the bottom of the main window, on every page: the state of the
// connection and, refreshed a few times a second, the health of the link: byte and record
// rates, the totals of unanswered and rejected lines and the port's line errors.

#include "console/core/LinkStats.h"
#include "serial/SerialDevice.h"

#include <QFrame>
#include <QString>

class QLabel;

class TStatusLine : public QFrame {
    Q_OBJECT
public:
    explicit TStatusLine(QWidget* parent = nullptr);

    // "Изключен", "Свързан: <port> <rate>", "Връзката прекъсна: <port>", ...
    void setConnectionState(const QString& text);
    QString connectionState() const;
    // A notice beside the connection ("Аварийно събитие RK1 в 10:41:07 — ..."); empty hides it.
    void setNotice(const QString& text);
    QString notice() const;

    void showFigures(const TLinkFigures& figures, const TLineErrorCounts& lineErrors);
    // The figures as shown, one text per field (for a reader of the window and its tests).
    QString figuresText() const;

private:
    QLabel* state_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* rx_ = nullptr;
    QLabel* tx_ = nullptr;
    QLabel* records_ = nullptr;
    QLabel* unanswered_ = nullptr;
    QLabel* rejected_ = nullptr;
    QLabel* lineErrors_ = nullptr;
};

// "850 B/s", "12.4 kB/s"
QString rateText(double bytesPerSecond);
