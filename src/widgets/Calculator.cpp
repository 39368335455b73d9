#include "widgets/Calculator.h"

#include "widgets/CalculatorForm.h"
#include "widgets/CalculatorPanel.h"
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <memory>

TCalculator::TCalculator(QObject* Owner)
    : QObject(Owner)
{
    setObjectName(QStringLiteral("Calculator1"));
}

TCalculator::~TCalculator() = default;

bool TCalculator::Execute()
{
    auto* ownerWidget = qobject_cast<QWidget*>(parent());
    auto form = std::make_unique<TCalculatorForm>(ownerWidget ? ownerWidget->window() : nullptr);
    form_ = form.get();
    struct Reset {
        TCalculatorForm*& f;
        ~Reset() { f = nullptr; }
    } reset{form_};

    if (helpContext_ != 0)
        form->setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    form->SetCtl3D(ctl3D_);
    form->setWindowTitle(title_);

    TCalculatorPanel* panel = form->CalculatorPanel();
    panel->OnCalcKey = [this](QObject*, QChar& key) {
        if (OnCalcKey)
            OnCalcKey(this, key);
    };
    panel->OnDisplayChange = [this](QObject*) {
        if (OnDisplayChange)
            OnDisplayChange(this);
    };
    TCalcEngine& engine = panel->Engine();
    engine.SetMemory(memory_);
    panel->UpdateMemoryLabel();
    engine.SetPrecision(std::max(2, int(precision_)));
    engine.SetBeepOnError(beepOnError_);
    if (value_ != 0) {
        panel->SetDisplayValue(value_);
        engine.SetStatus(cstNewNumber);
        engine.SetOperator(QChar('='));
    }

    if (QScreen* screen = ownerWidget ? ownerWidget->screen() : QGuiApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        form->move(s.x() + s.width() / 2 - form->width() / 2, s.y() + s.height() / 2 - form->height() / 2);
    }

    const bool ok = form->exec() == QDialog::Accepted;
    if (ok) {
        memory_ = engine.Memory();
        const double v = panel->DisplayValue();
        if (v != value_) {
            value_ = v;
            if (OnChange)
                OnChange(this);
        }
    }
    return ok;
}
