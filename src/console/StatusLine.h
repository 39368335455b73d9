#pragma once
// TStatusLine: the line at the bottom of the main window, on every page: the state of the
// connection and, refreshed a few times a second, the health of the link: byte and record
// rates, the totals of unanswered and rejected lines and the port's line errors.
//
// It never widens the window: each figure has a fixed width, wide enough for large
// figures, and the connection state takes the rest, its port name shortened in the middle
// when the room is short (the whole text in its tool tip).

#include "session/LinkStats.h"
#include "transport/TransportTypes.h"

#include <QFrame>
#include <QString>

class QLabel;
class TStateLabel;

class TStatusLine : public QFrame {
    Q_OBJECT
public:
    explicit TStatusLine(QWidget* parent = nullptr);

    // "Изключен", "Свързан: <port> <rate>", "Връзката прекъсна: <port>", ...; port is the
    // part of the text that may be shortened.
    void setConnectionState(const QString& text, const QString& port = {});
    // The whole text, as the tool tip shows it.
    QString connectionState() const;
    // A notice beside the connection ("Аварийно събитие RK1 в 10:41:07 — ..."); empty hides it.
    void setNotice(const QString& text);
    QString notice() const;

    void showFigures(const TLinkFigures& figures, const TLineErrorCounts& lineErrors);
    // The figures as shown, one text per field (for a reader of the window and its tests).
    QString figuresText() const;
    // "Архивът не записва: ..." while the archive keeps trying; empty hides the field.
    void setArchiveState(const QString& text);
    QString archiveState() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitFields();

    TStateLabel* state_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* rx_ = nullptr;
    QLabel* tx_ = nullptr;
    QLabel* records_ = nullptr;
    QLabel* unanswered_ = nullptr;
    QLabel* rejected_ = nullptr;
    QLabel* lineErrors_ = nullptr;
    TStateLabel* archive_ = nullptr;
};

// "850 B/s", "12.4 kB/s"
QString rateText(double bytesPerSecond);
