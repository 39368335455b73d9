#include "console/ScopeOnEvent.h"

#include "console/StatusLine.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

namespace {
namespace text {
const QString option = QStringLiteral("Показвай графиката при събитие");
const QString marked = QStringLiteral("%1 ●");
const QString notice = QStringLiteral("Аварийно събитие %1 в %2 — виж „%3“");
} // namespace text
} // namespace

TScopeOnEvent::TScopeOnEvent(QWidget& window, QTabWidget& pages, int chartPage, std::vector<int> listPages,
    TStatusLine& status, const QCheckBox& option, QObject* parent)
    : QObject(parent)
    , window_(window)
    , pages_(pages)
    , chartPage_(chartPage)
    , listPages_(std::move(listPages))
    , status_(status)
    , option_(option)
    , chartCaption_(pages.tabText(chartPage))
{
    clockMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
    connect(&pages_, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == chartPage_)
            clearMark();
    });
    // Keys typed anywhere in the window, whichever control has them.
    qApp->installEventFilter(this);
}

QString TScopeOnEvent::optionCaption()
{
    return text::option;
}

TScopeOnEvent::~TScopeOnEvent()
{
    qApp->removeEventFilter(this);
}

bool TScopeOnEvent::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == &window_)
        lastKeyMs_ = clockMs();
    return false;
}

void TScopeOnEvent::eventCounted(const QString& name, bool windowAway)
{
    const int page = pages_.currentIndex();
    TEventPageState state;
    state.showOnEvent = option_.isChecked();
    state.windowAway = windowAway;
    state.onChart = page == chartPage_;
    state.onListPage = std::find(listPages_.begin(), listPages_.end(), page) != listPages_.end();
    state.lastKeyMs = lastKeyMs_;
    state.nowMs = clockMs();
    switch (eventPage(state)) {
    case TEventPage::Already:
        return;
    case TEventPage::Show:
        pages_.setCurrentIndex(chartPage_);
        return;
    case TEventPage::Keep:
        break;
    }
    marked_ = true;
    pages_.setTabText(chartPage_, text::marked.arg(chartCaption_));
    pages_.tabBar()->setTabTextColor(chartPage_, Qt::red);
    const QString at = QDateTime::fromMSecsSinceEpoch(state.nowMs).toString(QStringLiteral("HH:mm:ss"));
    status_.setNotice(text::notice.arg(name, at, chartCaption_));
}

void TScopeOnEvent::clearMark()
{
    if (!marked_)
        return;
    marked_ = false;
    pages_.setTabText(chartPage_, chartCaption_);
    pages_.tabBar()->setTabTextColor(chartPage_, QColor());
    status_.setNotice({});
}
