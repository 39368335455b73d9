#pragma once
// TStatusLine: the bar at the bottom of the main window; for now it shows the state of the
// connection when there is something to say about it (waiting for a lost device).

#include <QFrame>
#include <QString>

class QLabel;

class TStatusLine : public QFrame {
    Q_OBJECT
public:
    explicit TStatusLine(QWidget* parent = nullptr);

    void setConnectionState(const QString& text);
    QString connectionState() const;

private:
    QLabel* connection_ = nullptr;
};
