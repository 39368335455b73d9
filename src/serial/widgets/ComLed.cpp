#include "serial/widgets/ComLed.h"

#include "serial/ComPort.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

// Resources of a static library are registered by name, outside any namespace.
static void initLedResources()
{
    Q_INIT_RESOURCE(serial_leds);
}

namespace {

constexpr int kCreatedSize = 25;
constexpr int kDefaultRingMs = 1000;

// The picture's background is one colour; its bottom-left pixel names it.
QPixmap transparent(const QPixmap& picture)
{
    if (picture.isNull())
        return picture;
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb background = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == background)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(image);
}

const char* resourceName(TLedKind kind)
{
    switch (kind) {
    case lkRedLight:
        return "LEDRED";
    case lkGreenLight:
        return "LEDGREEN";
    case lkBlueLight:
        return "LEDBLUE";
    case lkYellowLight:
        return "LEDYELLOW";
    case lkPurpleLight:
        return "LEDPURPLE";
    case lkBulb:
        return "LEDBULB";
    case lkCustom:
        break;
    }
    return nullptr;
}

} // namespace

TComLed::TComLed(QWidget* parent)
    : QWidget(parent)
{
    resize(kCreatedSize, kCreatedSize);
    flashTimer_.setObjectName(QStringLiteral("FlashTimer"));
    // Precise: a ring lasts RingDuration, not up to 5 % less.
    flashTimer_.setTimerType(Qt::PreciseTimer);
    flashTimer_.setInterval(kDefaultRingMs);
    connect(&flashTimer_, &QTimer::timeout, this, &TComLed::flashEnded);
    link_.ConnHandler = [this](QObject* sender, bool on) { SignalChanged(sender, on); };
}

TComLed::~TComLed()
{
    flashTimer_.stop();
    detach();
}

QPixmap TComLed::KindGlyph(TLedKind kind, bool lit)
{
    const char* name = resourceName(kind);
    if (!name)
        return QPixmap();
    initLedResources();
    return transparent(QPixmap(QStringLiteral(":/serial/%1%2").arg(QLatin1String(name), lit ? "ON" : "OFF")));
}

QPoint TComLed::GlyphOrigin(const QRect& client, const QSize& picture)
{
    return {client.left() + std::max(0, (client.width() - picture.width()) / 2),
        client.top() + std::max(0, (client.height() - picture.height()) / 2)};
}

void TComLed::detach()
{
    QObject::disconnect(portDestroying_);
    if (TTransport* old = comPort_) {
        comPort_ = nullptr;
        old->DetachLink(&link_);
    }
}

void TComLed::SetComPort(TTransport* value)
{
    if (value == comPort_)
        return;
    detach();
    comPort_ = value;
    if (!value) {
        SetLampState(lsOff);
        return;
    }
    portDestroying_ = connect(value, &TTransport::Destroying, this, [this](TTransport* port) {
        if (port == comPort_)
            SetComPort(nullptr);
    });
    value->AttachLink(&link_);
    if (value->Connected())
        SetLampState(SignalIsOn() ? lsOn : lsOff);
}

void TComLed::SetLedSignal(TComLedSignal value)
{
    if (value == ledSignal_)
        return;
    ledSignal_ = value;
    link_.ConnHandler = nullptr;
    link_.CtsHandler = nullptr;
    link_.DsrHandler = nullptr;
    link_.RlsdHandler = nullptr;
    link_.RingHandler = nullptr;
    link_.TxHandler = nullptr;
    link_.RxHandler = nullptr;
    const auto changed = [this](QObject* sender, bool on) { SignalChanged(sender, on); };
    switch (value) {
    case lsConn:
        link_.ConnHandler = changed;
        break;
    case lsCTS:
        link_.CtsHandler = changed;
        break;
    case lsDSR:
        link_.DsrHandler = changed;
        break;
    case lsRLSD:
        link_.RlsdHandler = changed;
        break;
    case lsRing:
        link_.RingHandler = [this](QObject* sender) { RingDetected(sender); };
        break;
    case lsRx:
        link_.RxHandler = changed;
        break;
    case lsTx:
        link_.TxHandler = changed;
        break;
    }
}

void TComLed::SetKind(TLedKind value)
{
    if (value == kind_)
        return;
    kind_ = value;
    LoadGlyphs(value);
    update();
}

void TComLed::SetGlyphOn(const QPixmap& value)
{
    if (kind_ != lkCustom)
        return;
    glyphOn_ = transparent(value);
    update();
}

void TComLed::SetGlyphOff(const QPixmap& value)
{
    if (kind_ != lkCustom)
        return;
    glyphOff_ = transparent(value);
    update();
}

void TComLed::SetState(TLedState value)
{
    if (comPort_)
        throw EComPort(CError_LedStateFailed);
    SetLampState(value);
}

void TComLed::SetLampState(TLedState value)
{
    // No equality check: every call notifies and repaints.
    state_ = value;
    if (OnChange)
        OnChange(this, value);
    update();
}

void TComLed::SignalChanged(QObject*, bool OnOff)
{
    SetLampState(OnOff ? lsOn : lsOff);
    // Paint now rather than at the next pass of the event loop: the port goes on with its
    // delivery when we return, and may switch the lamp back before that pass. But once a
    // frame at most: each synchronous paint redraws the group box behind the lamp and
    // flushes the window, which in a flood (a switch per record) cost more than the
    // records. Within the frame the update() above shows the latest state; the end of a
    // flash that was painted lit is still painted at once.
    if (!isVisible())
        return;
    constexpr qint64 kFrameMs = 16;
    if (OnOff && (!litPaint_.isValid() || litPaint_.hasExpired(kFrameMs))) {
        repaint();
        litPaint_.start();
        litShown_ = true;
    } else if (!OnOff && litShown_) {
        repaint();
        litShown_ = false;
    }
}

void TComLed::RingDetected(QObject*)
{
    // A running timer keeps its count: the burst's first ring decides when the lamp goes off.
    if (!flashTimer_.isActive())
        flashTimer_.start();
    SetLampState(lsOn);
}

void TComLed::flashEnded()
{
    flashTimer_.stop();
    SetLampState(lsOff);
}

bool TComLed::SignalIsOn() const
{
    if (!comPort_)
        return false;
    switch (ledSignal_) {
    case lsConn:
        return comPort_->Connected();
    case lsCTS:
        return comPort_->LineState().cts;
    case lsDSR:
        return comPort_->LineState().dsr;
    case lsRLSD:
        return comPort_->LineState().rlsd;
    case lsRing:
    case lsRx:
    case lsTx:
        break;
    }
    return false;
}

void TComLed::LoadGlyphs(TLedKind kind)
{
    if (kind == lkCustom)
        return;
    glyphOn_ = KindGlyph(kind, true);
    glyphOff_ = KindGlyph(kind, false);
}

void TComLed::paintEvent(QPaintEvent*)
{
    if (glyphOn_.isNull() || glyphOff_.isNull())
        LoadGlyphs(kind_);
    const QPixmap& current = state_ == lsOn ? glyphOn_ : glyphOff_;
    const QPixmap& shown = isEnabled() ? current : glyphOff_;
    QPainter painter(this);
    painter.drawPixmap(GlyphOrigin(contentsRect(), current.size()), shown);
}
