#pragma once
// The help page ("Помощ"): the calculator buttons above the description of the research behind
// the device and its three schemes.

#include <QWidget>
#include <array>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;

class HelpPage : public QWidget {
    Q_OBJECT
public:
    explicit HelpPage(QWidget* parent = nullptr);

    QTabWidget* PageControl2 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    std::array<QScrollArea*, 3> SchemeBoxes{};
    std::array<QLabel*, 3> SchemeImages{};
    QPushButton* WinCalc = nullptr;
    QPushButton* Button15 = nullptr;
};
