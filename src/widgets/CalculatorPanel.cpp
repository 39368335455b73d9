#include "widgets/CalculatorPanel.h"

#include "widgets/CalcButton.h"
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QTimer>

// Resources of a static library are registered by name, outside any namespace.
static void initCalculatorResources()
{
    Q_INIT_RESOURCE(calculator);
}

namespace {

constexpr int kStandardWidth = 36;
constexpr int kWideWidth = 44;
constexpr int kKeyHeight = 22;
constexpr int kGlyphCount = 6;
// Pressed look of a typed key.
constexpr int kTypedPressMs = 20;

struct KeyDef {
    int kind;
    const char* name;
    const char* face; // nullptr: the glyph, or the locale's separator for the decimal key
    int left;
    int top;
    int width;
    TColor color;
    int glyph; // index in the glyph strip, -1 for none
};

// The dialog arrangement of the 28 keys.
constexpr KeyDef kKeys[] = {
    {1, "Key0", "0", 47, 104, kStandardWidth, clBtnText, -1},
    {2, "Key1", "1", 47, 80, kStandardWidth, clBtnText, -1},
    {3, "Key2", "2", 85, 80, kStandardWidth, clBtnText, -1},
    {4, "Key3", "3", 123, 80, kStandardWidth, clBtnText, -1},
    {5, "Key4", "4", 47, 56, kStandardWidth, clBtnText, -1},
    {6, "Key5", "5", 85, 56, kStandardWidth, clBtnText, -1},
    {7, "Key6", "6", 123, 56, kStandardWidth, clBtnText, -1},
    {8, "Key7", "7", 47, 32, kStandardWidth, clBtnText, -1},
    {9, "Key8", "8", 85, 32, kStandardWidth, clBtnText, -1},
    {10, "Key9", "9", 123, 32, kStandardWidth, clBtnText, -1},
    {11, "KeySign", nullptr, 85, 104, kStandardWidth, clBtnText, 2},
    {12, "KeyDecimal", nullptr, 123, 104, kStandardWidth, clBtnText, -1},
    {13, "KeyDivide", "/", 161, 32, kStandardWidth, clPurple, -1},
    {14, "KeyMultiply", nullptr, 161, 56, kStandardWidth, clPurple, 3},
    {15, "KeyMinus", nullptr, 161, 80, kStandardWidth, clPurple, 4},
    {16, "KeyPlus", nullptr, 161, 104, kStandardWidth, clPurple, 5},
    {17, "KeySqrt", "sqrt", 199, 32, kStandardWidth, clNavy, -1},
    {18, "KeyPercent", "%", 199, 56, kStandardWidth, clNavy, -1},
    {19, "KeyReciprocal", "1/x", 199, 80, kStandardWidth, clNavy, -1},
    {20, "KeyEquals", "=", 199, 104, kStandardWidth, clPurple, -1},
    {21, "KeyBack", "<-", 145, 6, kWideWidth, clMaroon, -1},
    {22, "KeyClear", "C", 191, 6, kWideWidth, clMaroon, -1},
    {23, "KeyMemoryAdd", "MP", 5, 104, kStandardWidth, clNavy, -1},
    {24, "KeyMemoryStore", "MS", 5, 80, kStandardWidth, clNavy, -1},
    {25, "KeyMemoryRecall", "MR", 5, 56, kStandardWidth, clNavy, -1},
    {26, "KeyMemoryClear", "MC", 5, 32, kStandardWidth, clNavy, -1},
    {27, "KeyOk", nullptr, 47, 6, kStandardWidth, clBtnText, 1},
    {28, "KeyCancel", nullptr, 85, 6, kStandardWidth, clBtnText, 0},
};

QPixmap glyph(int index)
{
    static const QPixmap strip = [] {
        initCalculatorResources();
        return QPixmap(QStringLiteral(":/widgets/CalculatorPanelBUTTONS"), "XPM");
    }();
    if (strip.isNull())
        return {};
    const int w = strip.width() / kGlyphCount;
    return strip.copy(index * w, 0, w, strip.height());
}

} // namespace

const QString& TCalculatorPanel::KeyString()
{
    static const QString s
        = QStringLiteral("0123456789_./*-+Q%R=") + QChar(TCalcEngine::kBackspace) + QChar('C');
    return s;
}

TCalculatorPanel::TCalculatorPanel(QWidget* parent, const QLocale& locale)
    : QFrame(parent)
    , engine_(locale)
{
    setObjectName(QStringLiteral("CalculatorPanel"));
    setFixedSize(240, 129);
    setAutoFillBackground(true);

    QFont bold = font();
    bold.setBold(true);
    for (const auto& k : kKeys) {
        auto* b = new TCalcButton(k.kind, this);
        b->setObjectName(QString::fromLatin1(k.name));
        b->setGeometry(k.left, k.top, k.width, kKeyHeight);
        b->setFont(bold);
        b->SetTextColor(k.color);
        if (k.glyph >= 0)
            b->SetGlyph(glyph(k.glyph));
        else if (k.face)
            b->setText(QString::fromLatin1(k.face));
        else
            b->setText(engine_.DecimalSeparator());
        connect(b, &QAbstractButton::clicked, this, [this, b] { ButtonClick(b); });
        buttons_[std::size_t(k.kind - 1)] = b;
    }

    memoryPanel_ = new QFrame(this);
    memoryPanel_->setObjectName(QStringLiteral("MemoryPanel"));
    memoryPanel_->setGeometry(6, 7, 34, 20);
    memoryLabel_ = new QLabel(memoryPanel_);
    memoryLabel_->setObjectName(QStringLiteral("MemoryLabel"));
    memoryLabel_->setGeometry(3, 3, 26, 14);
    memoryLabel_->setAlignment(Qt::AlignCenter);
    QFont plain = font();
    plain.setBold(false);
    memoryLabel_->setFont(plain);
    SetCtl3D(true);

    engine_.OnCalcKey = [this](QChar& k) {
        if (OnCalcKey)
            OnCalcKey(this, k);
    };
    engine_.OnDisplayChange = [this] {
        if (OnDisplayChange)
            OnDisplayChange(this);
    };
    engine_.OnTextChange = [this](const QString& t) {
        if (OnTextChange)
            OnTextChange(t);
    };
    engine_.OnMemoryChange = [this] { UpdateMemoryLabel(); };
    engine_.OnBeep = [] { QApplication::beep(); };
    engine_.OnCopy = [](const QString& t) { QGuiApplication::clipboard()->setText(t); };
    engine_.OnPaste = []() -> std::optional<QString> {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (!data || !data->hasText())
            return std::nullopt;
        return data->text();
    };
    UpdateMemoryLabel();
}

TCalculatorPanel::~TCalculatorPanel() = default;

void TCalculatorPanel::SetCtl3D(bool on)
{
    for (auto* b : buttons_)
        b->SetNewStyle(on);
    if (on) {
        memoryPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    } else {
        memoryPanel_->setFrameStyle(QFrame::Box | QFrame::Plain);
    }
    memoryPanel_->setLineWidth(1);
}

TCalcButton* TCalculatorPanel::Button(int KeyKind) const
{
    return KeyKind >= 1 && KeyKind <= 28 ? buttons_[std::size_t(KeyKind - 1)] : nullptr;
}

void TCalculatorPanel::UpdateMemoryLabel()
{
    memoryLabel_->setText(engine_.Memory() != 0 ? QStringLiteral("M") : QString());
}

void TCalculatorPanel::CalcKey(QChar Key)
{
    engine_.CalcKey(Key);
}

void TCalculatorPanel::ButtonClick(TCalcButton* Button)
{
    const int kind = Button->KeyKind();
    if (kind >= 1 && kind <= 22) {
        CalcKey(kind == 12 ? engine_.DecimalSeparator() : KeyString().at(kind - 1));
        return;
    }
    switch (kind) {
    case 23:
        engine_.MemoryAdd();
        break;
    case 24:
        engine_.MemoryStore();
        break;
    case 25:
        engine_.MemoryRecall();
        break;
    case 26:
        engine_.MemoryClear();
        break;
    case 27:
        if (engine_.Confirm() && OnOk)
            OnOk(this);
        break;
    case 28:
        if (OnCancel)
            OnCancel(this);
        break;
    default:
        break;
    }
}

void TCalculatorPanel::CalcKeyPress(QChar Key)
{
    QChar mapped = Key;
    if (mapped == QChar('.') || mapped == QChar(',') || mapped == engine_.DecimalSeparator())
        mapped = QChar('.');
    else if (mapped == QChar(TCalcEngine::kReturn))
        mapped = QChar('=');
    else if (mapped == QChar(TCalcEngine::kEscape))
        mapped = QChar('C');
    mapped = mapped.toUpper();

    const qsizetype pos = mapped.isNull() ? -1 : KeyString().indexOf(mapped);
    if (pos < 0) {
        CalcKey(Key);
        return;
    }
    TCalcButton* b = Button(int(pos) + 1);
    if (!b->isEnabled())
        return;
    // The key acts at once, so typed keys keep their order; it only looks pressed a moment.
    b->setDown(true);
    QTimer::singleShot(kTypedPressMs, b, [b] { b->setDown(false); });
    ButtonClick(b);
}
