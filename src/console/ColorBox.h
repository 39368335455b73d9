#pragma once
// Colour drop-down of the settings page: the sixteen plain colours by name, with a swatch;
// a colour outside the list (read from the settings file) is shown as one more entry.

#include "common/Color.h"

#include <QComboBox>
#include <functional>

class TColorBox : public QComboBox {
    Q_OBJECT
public:
    explicit TColorBox(QWidget* parent = nullptr);

    TColor Selected() const;
    // Selects the colour without raising OnChange.
    void SetSelected(TColor color);

    // Raised when the operator picks a colour.
    std::function<void(QObject* Sender)> OnChange;

private:
    int indexOfColor(TColor color) const;
    void addColor(TColor color, const QString& name);
};
