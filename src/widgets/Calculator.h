#pragma once
// The pocket-calculator component: shows the modal calculator dialog and keeps the last
// confirmed value and the memory between showings.

#include <QChar>
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <functional>

class TCalculatorForm;

class TCalculator : public QObject {
    Q_OBJECT
public:
    explicit TCalculator(QObject* Owner = nullptr);
    ~TCalculator() override;

    // Shows the dialog modally; true when the operator closed it with OK.
    bool Execute();

    bool BeepOnError() const { return beepOnError_; }
    void SetBeepOnError(bool b) { beepOnError_ = b; }
    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool b) { ctl3D_ = b; }
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int h) { helpContext_ = h; }
    quint8 Precision() const { return precision_; }
    void SetPrecision(quint8 p) { precision_ = p; }
    const QString& Title() const { return title_; }
    void SetTitle(const QString& t) { title_ = t; }
    double Value() const { return value_; }
    void SetValue(double v) { value_ = v; }
    // Kept between showings, written back only on OK.
    double Memory() const { return memory_; }

    // The dialog while Execute runs, nullptr otherwise.
    TCalculatorForm* Form() const { return form_; }

    std::function<void(QObject* Sender, QChar& Key)> OnCalcKey;
    std::function<void(QObject* Sender)> OnChange;
    std::function<void(QObject* Sender)> OnDisplayChange;

private:
    bool beepOnError_ = true;
    bool ctl3D_ = true;
    int helpContext_ = 0;
    quint8 precision_ = 15;
    QString title_ = QStringLiteral("Calculator");
    double value_ = 0;
    double memory_ = 0;
    TCalculatorForm* form_ = nullptr;
};
