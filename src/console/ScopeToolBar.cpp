#include "console/ScopeToolBar.h"

#include "chart/Chart.h"
#include "chart/ScopePicture.h"
#include "chart/TraceLegend.h"
#include "common/BackgroundWrite.h"
#include "common/FileNames.h"

#include <QBuffer>
#include <QEvent>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace {

namespace text {
const QString hold = QStringLiteral("Задръж");
const QString holdHint = QStringLiteral("Задържа картината; получените точки се показват при отпускане");
const QString savePicture = QStringLiteral("PNG");
const QString savePictureHint = QStringLiteral("Записва графиката като картина PNG");
const QString pictureNotWritten = QStringLiteral("Графиката не може да се запише в %1");
const QString pictureWritten = QStringLiteral("Графиката е записана в %1");
} // namespace text

} // namespace

TScopeToolBar::TScopeToolBar(TChart& chart, TChartTraces& traces, QWidget* parent)
    : QWidget(parent)
    , chart_(chart)
    , traces_(traces)
    , hold_(std::make_unique<TScopeHold>(chart, traces.Live(), &traces))
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
    // Neither label's text decides its size: a new reading or message must not lay the page
    // out again.
    CursorReadout = new QLabel(this);
    CursorReadout->setObjectName(QStringLiteral("CursorReadout"));
    CursorReadout->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    CursorReadout->setMinimumWidth(320);
    SaveStatus = new QLabel(this);
    SaveStatus->setObjectName(QStringLiteral("SaveStatus"));
    SaveStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    SaveStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SaveStatus->hide(); // until there is something to say

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(7);
    layout->setVerticalSpacing(2);
    layout->addWidget(HoldScope, 0, 0);
    layout->addWidget(SaveChart, 0, 1);
    layout->addWidget(CursorReadout, 0, 2);
    layout->addWidget(SaveStatus, 1, 0, 1, 3);
    layout->setColumnStretch(2, 1);

    Legend = new TraceLegend(chart, traces);
    traces_.OnChanged = [this] { tracesChanged(); };

    connect(HoldScope, &QPushButton::toggled, this, [this](bool held) { hold_->SetHeld(held); });
    connect(SaveChart, &QPushButton::clicked, this, [this] { SaveChartClick(); });
    chart_.installEventFilter(this);
}

// The chart may go first (a sibling); Qt drops a filter that goes before its object.
TScopeToolBar::~TScopeToolBar()
{
    traces_.OnChanged = nullptr;
}

void TScopeToolBar::tracesChanged()
{
    Legend->Refresh();
    if (mouse_) {
        showReadout();
    }
    emit TracesChanged();
}

void TScopeToolBar::SaveChartClick()
{
    const QString proposed = chartmath::captureFileName(traces_.PictureCapture());
    QString path = ChoosePictureFile ? ChoosePictureFile(proposed) : QString();
    if (path.isEmpty()) {
        return;
    }
    SaveChartTo(withExtension(path, QStringLiteral(".png"), TExtensionRule::AnyCase));
}

void TScopeToolBar::SaveChartTo(const QString& path)
{
    const QImage picture = ScopePicture(chart_, traces_, Legend);
    // Encoding and writing take their time on a slow disk: the window goes on meanwhile.
    const auto encode = [picture] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        return bytes;
    };
    writeFileInBackground(
        this, path, encode, [this, path](const QString& error) { pictureWritten(path, error.isEmpty()); });
}

void TScopeToolBar::pictureWritten(const QString& path, bool ok)
{
    const QString message = (ok ? text::pictureWritten : text::pictureNotWritten).arg(path);
    SaveStatus->setText(message);
    SaveStatus->setToolTip(message);
    SaveStatus->show();
    if (!ok && ErrorReport) {
        ErrorReport(message);
    }
    emit PictureSaved(path, ok);
}

void TScopeToolBar::showReadout()
{
    readoutQueued_ = false;
    if (!mouse_) {
        return;
    }
    const TCursorReading reading = traces_.CursorAt(mouse_->x(), mouse_->y());
    const QString text = traces_.CursorText(reading);
    CursorReadout->setText(text);
    CursorReadout->setToolTip(text);
    if (!reading.valid) {
        chart_.SetMarker(std::nullopt);
        return;
    }
    TChartMarker marker;
    marker.x = reading.pixel;
    marker.top = chart_.ChartRect().Top;
    marker.bottom = chart_.ChartRect().Bottom;
    for (const TCursorValue& v : reading.values) {
        if (v.has && v.axis) {
            const int y = v.axis->CalcPosValue(v.value);
            if (y >= marker.top && y <= marker.bottom) {
                marker.dots.emplace_back(y, v.color);
            }
        }
    }
    chart_.SetMarker(marker);
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
            CursorReadout->setToolTip(QString());
            chart_.SetMarker(std::nullopt);
        } else if (event->type() == QEvent::Paint && mouse_ && !readoutQueued_) {
            // New points or axes move the traces under a resting mouse: read them again once
            // the chart has laid out the picture it is about to paint.
            readoutQueued_ = true;
            QMetaObject::invokeMethod(
                this, [this] { showReadout(); }, Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}
