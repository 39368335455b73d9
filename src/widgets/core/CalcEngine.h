#pragma once
// The arithmetic of the pocket calculator, free of widgets: one key character in, the
// display text and the engine state out. The keypad widget feeds it keys and draws the text.

#include <QChar>
#include <QLocale>
#include <QString>
#include <functional>
#include <optional>

enum TCalcState { cstNewNumber, cstEntering, cstError };

class TCalcEngine {
public:
    // Control characters the engine understands besides the printable keys.
    static constexpr char16_t kCopy = 3; // Ctrl+C
    static constexpr char16_t kBackspace = 8; // backspace
    static constexpr char16_t kReturn = 13; // carriage return
    static constexpr char16_t kPaste = 22; // Ctrl+V
    static constexpr char16_t kEscape = 27; // escape

    explicit TCalcEngine(const QLocale& locale = QLocale());

    // Runs the engine for one key character.
    void CalcKey(QChar Key);
    // Starts a new number on the display when the last one was finished.
    void BeginNumber();
    // The display read as a number; 0 in the error state.
    double DisplayValue() const;
    // Shows V in the general format with max(2, Precision) significant digits.
    void SetDisplayValue(double V);
    // Enters the error state and shows "Error".
    void Error();
    // Shows the number in Text (currency symbol and blanks removed), or "0" when it is none.
    void Paste(const QString& Text);

    // The memory keys of the keypad.
    void MemoryAdd();
    void MemoryStore();
    void MemoryRecall();
    void MemoryClear();
    // The OK key: false (with a beep) in the error state; otherwise normalises the display.
    bool Confirm();

    const QString& DisplayText() const { return displayText_; }
    TCalcState Status() const { return status_; }
    void SetStatus(TCalcState s) { status_ = s; }
    QChar Operator() const { return operator_; }
    void SetOperator(QChar op) { operator_ = op; }
    double Operand() const { return operand_; }
    double Memory() const { return memory_; }
    void SetMemory(double m);
    int Precision() const { return precision_; }
    void SetPrecision(int p) { precision_ = p; }
    bool BeepOnError() const { return beepOnError_; }
    void SetBeepOnError(bool b) { beepOnError_ = b; }
    const QLocale& Locale() const { return locale_; }

    // Text of V as the display shows it, for Precision significant digits.
    QString FormatValue(double V) const;
    // The locale's decimal separator as a single character.
    QChar DecimalSeparator() const { return decimal_; }

    // Hooks set by the keypad: each is optional.
    std::function<void(QChar& Key)> OnCalcKey; // sees and may change every key
    std::function<void()> OnDisplayChange; // SetDisplayValue showed a new text
    std::function<void(const QString&)> OnTextChange; // any change of the display text
    std::function<void()> OnMemoryChange; // the memory value was written
    std::function<void()> OnBeep; // an error or a refused key
    std::function<void(const QString&)> OnCopy; // Ctrl+C: put the text on the clipboard
    std::function<std::optional<QString>()> OnPaste; // Ctrl+V: the clipboard text, if any

private:
    void setText(const QString& t);
    void beep();
    void digit(QChar d);
    void backspace();
    void applyOperator(QChar Key);
    bool isDecimalKey(QChar k) const;

    QLocale locale_;
    QChar decimal_;
    QString displayText_ = QStringLiteral("0");
    TCalcState status_ = cstNewNumber;
    QChar operator_ = QChar(0);
    double operand_ = 0;
    double memory_ = 0;
    int precision_ = 15;
    bool beepOnError_ = true;
};
