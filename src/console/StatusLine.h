#pragma once
// TStatusLine: the line at the bottom of the main window, on every page: the state of the
// connection.

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

private:
    QLabel* state_ = nullptr;
};
