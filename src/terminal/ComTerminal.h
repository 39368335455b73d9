#pragma once
// TComTerminal: the terminal control as placed on a form; everything is TCustomComTerminal's.

#include "terminal/CustomComTerminal.h"

class TComTerminal : public TCustomComTerminal {
    Q_OBJECT

public:
    explicit TComTerminal(QWidget* parent = nullptr)
        : TCustomComTerminal(parent)
    {
    }
};
