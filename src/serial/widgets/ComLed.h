#pragma once
// TComLed: a 25 x 25 lamp showing one signal of a port (open, CTS, DSR, carrier, ring,
// receive or transmit activity). It attaches its own TComLink to the port and changes state
// from the link's calls, so it needs no polling; a ring lights it for RingDuration ms counted
// from the first ring of a burst. While a port is linked the state belongs to the port:
// setting State raises EComPort 19.
//
// A signal change repaints the lamp at once, inside the port's delivery, so a lamp switched
// on and off within one delivery (the receive lamp with a terminal linked) is seen lit.
//
// The console's status lamps, each under its caption:
//     auto* rx = new TComLed(group);           // 25 x 25
//     rx->SetLedSignal(lsRx);                  // Tx: lsTx, CAR: lsRLSD, DSR: lsDSR,
//     rx->SetKind(lkGreenLight);               // CTS: lsCTS, RING: lsRing with lkBulb
//     rx->SetComPort(ComPort1);                // yellow, blue, purple, red

#include "transport/ComLink.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>

class TTransport;

enum TComLedSignal { lsConn, lsCTS, lsDSR, lsRLSD, lsRing, lsRx, lsTx };
enum TLedKind { lkRedLight, lkGreenLight, lkBlueLight, lkYellowLight, lkPurpleLight, lkBulb, lkCustom };
enum TLedState { lsOff, lsOn };

using TLedStateEvent = std::function<void(QObject* Sender, TLedState AState)>;

class TComLed : public QWidget {
    Q_OBJECT

public:
    explicit TComLed(QWidget* parent = nullptr);
    ~TComLed() override;

    TTransport* ComPort() const { return comPort_; }
    // Links the lamp; an open port gives its state at once (EComPort 11 when the modem lines
    // cannot be read), none turns it off.
    void SetComPort(TTransport* value);
    TComLedSignal LedSignal() const { return ledSignal_; }
    // Rebinds the link; the state stays until the new signal next changes.
    void SetLedSignal(TComLedSignal value);
    TLedKind Kind() const { return kind_; }
    void SetKind(TLedKind value);
    // Lit and unlit pictures; setting them counts only for lkCustom. Their bottom-left
    // pixel's colour is drawn transparent.
    const QPixmap& GlyphOn() const { return glyphOn_; }
    void SetGlyphOn(const QPixmap& value);
    const QPixmap& GlyphOff() const { return glyphOff_; }
    void SetGlyphOff(const QPixmap& value);
    TLedState State() const { return state_; }
    void SetState(TLedState value);
    int RingDuration() const { return flashTimer_.interval(); }
    void SetRingDuration(int value) { flashTimer_.setInterval(value); }
    const QTimer& FlashTimer() const { return flashTimer_; }

    TLedStateEvent OnChange;

    QSize sizeHint() const override { return {25, 25}; }

    // The built-in picture of a kind (null for lkCustom), background made transparent.
    static QPixmap KindGlyph(TLedKind kind, bool lit);
    // Top-left corner of a picture centred in the client area, never left of or above it.
    static QPoint GlyphOrigin(const QRect& client, const QSize& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void SetLampState(TLedState value);
    void SignalChanged(QObject* Sender, bool OnOff);
    void RingDetected(QObject* Sender);
    bool SignalIsOn() const;
    void LoadGlyphs(TLedKind kind);
    void flashEnded();
    void detach();

    TTransport* comPort_ = nullptr;
    QMetaObject::Connection portDestroying_;
    TComLedSignal ledSignal_ = lsConn;
    TLedKind kind_ = lkRedLight;
    TLedState state_ = lsOff;
    QPixmap glyphOn_;
    QPixmap glyphOff_;
    QTimer flashTimer_;
    QElapsedTimer litPaint_; // when a signal last painted the lamp lit, synchronously
    bool litShown_ = false; // that paint's flash has not been painted off yet
    TComLink link_;
};
