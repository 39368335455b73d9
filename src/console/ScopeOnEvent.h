#pragma once
// TScopeOnEvent: what a counted emergency event does to the window's pages. It shows the chart
// page (the design's behaviour) unless the operator works on "Архив" or "Журнал", has typed into
// the window in the last ten seconds, or turned the option off; then the page stays, the chart's
// tab is marked and the status line says which event came, until the chart is looked at.

#include "console/core/EventPage.h"

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QCheckBox;
class QTabWidget;
class QWidget;
class TStatusLine;

class TScopeOnEvent : public QObject {
    Q_OBJECT
public:
    TScopeOnEvent(QWidget& window, QTabWidget& pages, int chartPage, std::vector<int> listPages,
        TStatusLine& status, const QCheckBox& option, QObject* parent = nullptr);
    ~TScopeOnEvent() override;

    // Milliseconds since the epoch; tests give their own clock.
    std::function<qint64()> clockMs;
    // The option's caption, "Показвай графиката при събитие".
    static QString optionCaption();

    // A counted event, by name; `windowAway` when the window was minimised or in the tray.
    void eventCounted(const QString& name, bool windowAway);
    bool chartMarked() const { return marked_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clearMark();

    QWidget& window_;
    QTabWidget& pages_;
    int chartPage_;
    std::vector<int> listPages_;
    TStatusLine& status_;
    const QCheckBox& option_;
    QString chartCaption_;
    qint64 lastKeyMs_ = TEventPageState::kNever;
    bool marked_ = false;
};
