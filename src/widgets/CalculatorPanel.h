#pragma once
// The calculator's keypad: the 28 keys, the memory indicator and the engine behind them.

#include "widgets/core/CalcEngine.h"
#include <QFrame>
#include <QLocale>
#include <array>
#include <functional>

class QLabel;
class TCalcButton;

class TCalculatorPanel : public QFrame {
    Q_OBJECT
public:
    explicit TCalculatorPanel(QWidget* parent = nullptr, const QLocale& locale = QLocale());
    ~TCalculatorPanel() override;

    // Runs the engine for one key character.
    void CalcKey(QChar Key);
    // Performs the action of a key button.
    void ButtonClick(TCalcButton* Button);
    // A character typed anywhere in the dialog.
    void CalcKeyPress(QChar Key);
    double DisplayValue() const { return engine_.DisplayValue(); }
    void SetDisplayValue(double V) { engine_.SetDisplayValue(V); }
    const QString& DisplayText() const { return engine_.DisplayText(); }
    void UpdateMemoryLabel();
    void SetCtl3D(bool on);

    TCalcEngine& Engine() { return engine_; }
    const TCalcEngine& Engine() const { return engine_; }
    // The key of kind 1..28, nullptr for any other number.
    TCalcButton* Button(int KeyKind) const;
    QLabel* MemoryLabel() const { return memoryLabel_; }

    std::function<void(QObject* Sender)> OnOk;
    std::function<void(QObject* Sender)> OnCancel;
    std::function<void(QObject* Sender, QChar& Key)> OnCalcKey;
    std::function<void(QObject* Sender)> OnDisplayChange;
    // Every change of the display text, for the dialog's display label.
    std::function<void(const QString& Text)> OnTextChange;

    // "0123456789_./*-+Q%R=", backspace, "C": the position of a character gives the key's tag.
    static const QString& KeyString();

private:
    TCalcEngine engine_;
    std::array<TCalcButton*, 28> buttons_{};
    QFrame* memoryPanel_ = nullptr;
    QLabel* memoryLabel_ = nullptr;
};
