#include "widgets/CalculatorForm.h"

#include "common/Color.h"
#include "widgets/CalculatorPanel.h"
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>

namespace {

constexpr int kClientWidth = 242;
constexpr int kClientHeight = 159;

QFont dialogFont()
{
    // The desktop's message font, bold, as a message box would show it.
    QFont f = QApplication::font("QMessageBox");
    f.setBold(true);
    return f;
}

} // namespace

TCalculatorForm::TCalculatorForm(QWidget* parent, const QLocale& locale)
    : QDialog(parent,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("CalculatorForm"));
    setWindowTitle(QStringLiteral("Calculator"));
    setFont(dialogFont());
    setFixedSize(kClientWidth, kClientHeight);

    mainPanel_ = new QFrame(this);
    mainPanel_->setObjectName(QStringLiteral("MainPanel"));
    mainPanel_->setGeometry(0, 0, kClientWidth, kClientHeight);

    displayPanel_ = new QFrame(mainPanel_);
    displayPanel_->setObjectName(QStringLiteral("DisplayPanel"));
    displayPanel_->setGeometry(6, 6, 230, 23);
    displayPanel_->setAutoFillBackground(true);
    QPalette white = displayPanel_->palette();
    white.setColor(QPalette::Window, color::toQColor(clWindow));
    displayPanel_->setPalette(white);

    displayInner_ = new QFrame(displayPanel_);
    displayInner_->setObjectName(QStringLiteral("DisplayInner"));
    displayInner_->setGeometry(1, 1, 228, 21);
    displayInner_->setFrameStyle(QFrame::Box | QFrame::Plain);
    displayInner_->setLineWidth(1);

    displayLabel_ = new QLabel(displayInner_);
    displayLabel_->setObjectName(QStringLiteral("DisplayLabel"));
    displayLabel_->setGeometry(5, 2, 217, 15);
    displayLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    panel_ = new TCalculatorPanel(mainPanel_, locale);
    panel_->move(1, kClientHeight - 1 - panel_->height());
    panel_->OnTextChange = [this](const QString& t) { displayLabel_->setText(t); };
    panel_->OnOk = [this](QObject*) { accept(); };
    panel_->OnCancel = [this](QObject*) { reject(); };
    displayLabel_->setText(panel_->DisplayText());

    // Copy and Paste go through the engine like Ctrl+C and Ctrl+V, so they rest in the error state too.
    copyItem_ = new QAction(QStringLiteral("&Copy"), this);
    copyItem_->setObjectName(QStringLiteral("CopyItem"));
    copyItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    connect(copyItem_, &QAction::triggered, this, [this] { panel_->CalcKey(QChar(TCalcEngine::kCopy)); });
    pasteItem_ = new QAction(QStringLiteral("&Paste"), this);
    pasteItem_->setObjectName(QStringLiteral("PasteItem"));
    pasteItem_->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    connect(pasteItem_, &QAction::triggered, this, [this] { panel_->CalcKey(QChar(TCalcEngine::kPaste)); });
    addAction(copyItem_);
    addAction(pasteItem_);

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu"));
    menu->addAction(copyItem_);
    menu->addAction(pasteItem_);
    connect(menu, &QMenu::aboutToShow, this, [this] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        pasteItem_->setEnabled(data && data->hasText());
    });
    mainPanel_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(mainPanel_, &QWidget::customContextMenuRequested, menu,
        [this, menu](const QPoint& pos) { menu->popup(mainPanel_->mapToGlobal(pos)); });

    SetCtl3D(true);
}

TCalculatorForm::~TCalculatorForm() = default;

void TCalculatorForm::SetCtl3D(bool on)
{
    mainPanel_->setFrameStyle(on ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
    displayPanel_->setFrameStyle(on ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
    mainPanel_->setLineWidth(1);
    displayPanel_->setLineWidth(1);
    panel_->SetCtl3D(on);
}

void TCalculatorForm::keyPressEvent(QKeyEvent* e)
{
    // Every key goes to the keypad: Enter means "=" and Escape "C", neither closes the dialog.
    QChar key;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        key = QChar(TCalcEngine::kReturn);
        break;
    case Qt::Key_Escape:
        key = QChar(TCalcEngine::kEscape);
        break;
    case Qt::Key_Backspace:
        key = QChar(TCalcEngine::kBackspace);
        break;
    case Qt::Key_C:
        key = ctrl ? QChar(TCalcEngine::kCopy) : QChar();
        break;
    case Qt::Key_V:
        key = ctrl ? QChar(TCalcEngine::kPaste) : QChar();
        break;
    default:
        break;
    }
    if (key.isNull() && !e->text().isEmpty())
        key = e->text().at(0);
    if (!key.isNull())
        panel_->CalcKeyPress(key);
    e->accept();
}
