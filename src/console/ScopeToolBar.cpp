#include "console/ScopeToolBar.h"

#include "chart/Chart.h"
#include "chart/core/ChartCursor.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>

namespace {

namespace text {
const QString hold = QStringLiteral("Задръж");
const QString holdHint = QStringLiteral("Задържа картината; получените точки се показват при отпускане");
const QString savePicture = QStringLiteral("PNG");
const QString savePictureHint = QStringLiteral("Записва графиката като картина PNG");
const QString pictureNotWritten = QStringLiteral("Графиката не може да се запише в %1");
} // namespace text

// Wide enough for "X = -2,147,483,648 mS   Y = -2,147,483,648 t °C"-sized read-outs in
// most cases; a fixed size keeps a new text from laying the page out again.
constexpr int kReadoutWidth = 320;

} // namespace

TScopeToolBar::TScopeToolBar(TChart& chart, TLineSeries& series, QWidget* parent)
    : QWidget(parent)
    , chart_(chart)
    , series_(series)
    , hold_(std::make_unique<TScopeHold>(chart, series))
{
    setObjectName(QStringLiteral("ScopeToolBar"));
    HoldScope = new QPushButton(text::hold, this);
    HoldScope->setObjectName(QStringLiteral("HoldScope"));
    HoldScope->setCheckable(true);
    HoldScope->setAutoDefault(false);
    HoldScope->setToolTip(text::holdHint);
    SaveChart = new QPushButton(text::savePicture, this);
    SaveChart->setObjectName(QStringLiteral("SaveChart"));
    SaveChart->setAutoDefault(false);
    SaveChart->setToolTip(text::savePictureHint);
    CursorReadout = new QLabel(this);
    CursorReadout->setObjectName(QStringLiteral("CursorReadout"));
    CursorReadout->setFixedSize(kReadoutWidth, CursorReadout->sizeHint().height());

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(7);
    layout->addWidget(HoldScope);
    layout->addWidget(SaveChart);
    layout->addSpacing(6);
    layout->addWidget(CursorReadout);

    connect(HoldScope, &QPushButton::toggled, this, [this](bool held) { hold_->SetHeld(held); });
    connect(SaveChart, &QPushButton::clicked, this, [this] { SaveChartClick(); });
    chart_.installEventFilter(this);
}

// The chart may go first (a sibling); Qt drops a filter that goes before its object.
TScopeToolBar::~TScopeToolBar() = default;

void TScopeToolBar::SaveChartClick()
{
    QString path = ChoosePictureFile ? ChoosePictureFile() : QString();
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".png");
    }
    SaveChartTo(path);
}

void TScopeToolBar::SaveChartTo(const QString& path)
{
    QImage picture(chart_.size(), QImage::Format_RGB32);
    chart_.DrawTo(picture);
    // Encoding and writing take their time on a slow disk: the window goes on meanwhile. The
    // answer comes back through the application object, which outlives any bar.
    QPointer<TScopeToolBar> bar(this);
    QThreadPool::globalInstance()->start([picture, path, bar] {
        const bool ok = picture.save(path, "PNG");
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) {
            return; // the program ended meanwhile
        }
        QMetaObject::invokeMethod(
            app,
            [bar, path, ok] {
                if (bar) {
                    bar->pictureWritten(path, ok);
                }
            },
            Qt::QueuedConnection);
    });
}

void TScopeToolBar::pictureWritten(const QString& path, bool ok)
{
    if (!ok && ErrorReport) {
        ErrorReport(text::pictureNotWritten.arg(path));
    }
    emit PictureSaved(path, ok);
}

void TScopeToolBar::showReadout()
{
    readoutQueued_ = false;
    if (mouse_) {
        CursorReadout->setText(chartmath::cursorReadout(chart_, series_, mouse_->x(), mouse_->y()));
    }
}

bool TScopeToolBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &chart_) {
        if (event->type() == QEvent::MouseMove) {
            mouse_ = static_cast<QMouseEvent*>(event)->position().toPoint();
            showReadout();
        } else if (event->type() == QEvent::Leave) {
            mouse_.reset();
            CursorReadout->clear();
        } else if (event->type() == QEvent::Paint && mouse_ && !readoutQueued_) {
            // New points or axes move the series under a resting mouse: read it again once
            // the chart has laid out the picture it is about to paint.
            readoutQueued_ = true;
            QMetaObject::invokeMethod(
                this, [this] { showReadout(); }, Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}
