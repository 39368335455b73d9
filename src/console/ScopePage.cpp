#include "console/ScopePage.h"

#include "chart/Chart.h"
#include "chart/ScopeForm.h"
#include "chart/core/ChartTraces.h"
#include "common/Cp1251.h"
#include "console/PageControls.h"
#include "console/ScopeToolBar.h"
#include "console/WindowTexts.h"
#include "console/core/IniFile.h"
#include "widgets/ValidateEdit.h"

#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

using namespace controls;

namespace {

constexpr TReadout kReadouts[] = {TReadout::Voltage, TReadout::Current, TReadout::Temperature};

// Shapes of value a read-out remembers having been measured for; a device sending text of
// ever new shapes only costs a measurement each.
constexpr qsizetype kShapesKept = 64;

// Width a read-out needs for text in its font, with its margins.
int readoutWidth(const QLabel* l, const QString& text)
{
    const QMargins m = l->contentsMargins();
    return l->fontMetrics().horizontalAdvance(text) + m.left() + m.right() + 2 * l->margin() + 2;
}

} // namespace

ScopePage::ScopePage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Scope"));

    Chart1 = new TChart(this);
    // The design's chart: paging, flat view, margins, axis titles and the red Series1.
    Series1 = SetupScopeChart(*Chart1);
    traces_ = std::make_unique<TChartTraces>(*Chart1, *Series1);
    Series2 = traces_->SlotSeries(0);
    Chart1->setMinimumSize(300, 200);
    ScopeBar = new TScopeToolBar(*Chart1, *traces_, this);
    // A trace's limit is the read-out's of its quantity, known by the scale record's unit; the
    // voltage's is a band.
    ScopeBar->LimitFor = [this](const QString& unit) -> std::optional<measure::TLimit> {
        const std::pair<QString, TLimit> quantities[] = {{QStringLiteral("V"), TLimit::Voltage},
            {QStringLiteral("A"), TLimit::Current}, {QStringLiteral("t °C"), TLimit::Temperature}};
        for (const auto& [u, which] : quantities) {
            const auto level
                = u == unit ? parseWholeNumber(cp1251::encode(LimitText(which)).toStdString()) : std::nullopt;
            if (level)
                return measure::TLimit{double(*level), which == TLimit::Voltage};
        }
        return std::nullopt;
    };

    Button18 = button("Button18", QStringLiteral("+"), this);
    Button17 = button("Button17", QStringLiteral("-"), this);
    Button20 = button("Button20", QStringLiteral("><"), this);
    Button19 = button("Button19", QStringLiteral("C"), this);
    auto* scopeButtons = new QHBoxLayout;
    scopeButtons->setSpacing(7);
    // The bar takes the room up to the buttons: the scope cursor's read-out grows with the traces.
    scopeButtons->addWidget(ScopeBar, 1);
    for (auto [b, pixels] : {std::pair{Button18, 27}, {Button17, 27}, {Button20, 16}, {Button19, 16}}) {
        b->setFont(pixelFont(font(), pixels, true));
        b->setFixedSize(25, 25);
        scopeButtons->addWidget(b);
    }
    connect(Button18, &QPushButton::clicked, this, [this] { Chart1->ZoomByPercent(120); });
    connect(Button17, &QPushButton::clicked, this, [this] { Chart1->ZoomByPercent(80); });
    connect(Button20, &QPushButton::clicked, this, [this] { Chart1->UndoZoom(); });

    auto* stats = new QGroupBox(text::groupStatistics, this);
    auto* s = new QGridLayout(stats);
    const QFont big = pixelFont(font(), 27, true);
    auto readoutRow = [&](int row, const QString& caption, const char* name, const QString& unit,
                          const char* limitName, TValidateEdit*& limitEdit) {
        s->addWidget(label(caption, stats), row, 0, 1, 3);
        auto* value = label(QStringLiteral("0"), stats, name);
        value->setFont(big);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Of fixed size, so that a new value repaints the read-out alone: a label that may
        // change size has the window laid out again, and the tab widget then repaints all
        // of itself, once per record. It only widens, for a longer value than any before.
        value->setFixedSize(
            std::max(80, readoutWidth(value, QStringLiteral("-8888"))), value->sizeHint().height());
        s->addWidget(value, row + 1, 0, 1, 2, Qt::AlignRight | Qt::AlignVCenter);
        s->addWidget(label(unit, stats), row + 1, 2);
        s->addWidget(label(text::limit, stats), row + 2, 0);
        limitEdit = new TValidateEdit(stats);
        limitEdit->setObjectName(QString::fromLatin1(limitName));
        limitEdit->SetMaxLength(4);
        limitEdit->SetMinValue(1);
        limitEdit->SetMaxValue(9999);
        limitEdit->SetText(QStringLiteral("50"));
        limitEdit->setMaximumWidth(60);
        s->addWidget(limitEdit, row + 2, 1);
        return value;
    };
    Voltage = readoutRow(0, text::voltage, "Voltage", QStringLiteral("V"), "VoltageLimit", VoltageLimit);
    Current = readoutRow(3, text::current, "Current", QStringLiteral("A"), "CurrentLimit", CurrentLimit);
    Temperature
        = readoutRow(6, text::temperature, "Temperature", QStringLiteral("°C"), "TempLimit", TempLimit);
    Button16 = button("Button16", text::reset, stats);
    s->addWidget(Button16, 9, 0, 1, 3);

    auto* events = new QGroupBox(text::groupEvents, this);
    auto* e = new QGridLayout(events);
    QFont counterFont = font();
    counterFont.setBold(true);
    for (int i = 0; i < kEventCount; ++i) {
        const QString name = QString::fromLatin1(eventName(TEvent(i)));
        auto* frame = new QGroupBox(QStringLiteral(" %1: ").arg(name), events);
        auto* fl = new QHBoxLayout(frame);
        fl->setContentsMargins(4, 2, 4, 4);
        auto* box = new TValidateEdit(frame);
        box->setObjectName(name);
        box->SetColor(clBackground);
        box->SetFontColor(clBlack);
        box->setFont(counterFont);
        box->SetText(QStringLiteral("0"));
        fl->addWidget(box);
        Counters[std::size_t(i)] = box;
        e->addWidget(frame, i / 2, i % 2);
    }
    Button14 = button("Button14", text::reset, events);
    e->addWidget(Button14, 2, 1);

    auto* right = new QVBoxLayout;
    right->addWidget(stats);
    right->addWidget(events);
    right->addStretch();

    auto* grid = new QGridLayout(this);
    grid->addWidget(Chart1, 0, 0);
    grid->addLayout(scopeButtons, 1, 0);
    grid->addLayout(right, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
}

ScopePage::~ScopePage()
{
    // The scope bar and its legend hold the traces, a member that goes before the children.
    delete ScopeBar;
}

QLabel* ScopePage::readout(TReadout which) const
{
    const std::array<QLabel*, 3> labels = {Voltage, Current, Temperature};
    return labels[std::size_t(which)];
}

QString ScopePage::LimitText(TLimit which) const
{
    const std::array<TValidateEdit*, 3> limits = {VoltageLimit, CurrentLimit, TempLimit};
    return limits[std::size_t(which)]->Text();
}

void ScopePage::ShowReadout(TReadout which, const QString& value)
{
    LinkUp();
    QLabel* l = readout(which);
    shade_.setValue(which, value, QDateTime::currentMSecsSinceEpoch());
    if (value == l->text())
        return;
    // Measured once for each shape of value ("230.5" and "231.7" are one), with its digits
    // as the font's widest: measuring every record's text cost a twentieth of a flood. The
    // read-out only ever widens, so a shape measured before still fits.
    QString shape = value;
    for (QChar& c : shape)
        if (c.isDigit())
            c = QLatin1Char('0');
    Measured& measured = measured_[std::size_t(which)];
    if (l->font() != measured.font) {
        measured.font = l->font();
        measured.shapes.clear();
    }
    if (!measured.shapes.contains(shape)) {
        const QFontMetrics metrics = l->fontMetrics();
        QChar widest = QLatin1Char('0');
        for (char d = '1'; d <= '9'; ++d)
            if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widest))
                widest = QLatin1Char(d);
        QString widestText = shape;
        widestText.replace(QLatin1Char('0'), widest);
        // The value itself too, in case a pair of glyphs sits wider than the widest digits.
        const int wanted = std::max(readoutWidth(l, widestText), readoutWidth(l, value));
        if (wanted > l->minimumWidth())
            l->setFixedWidth(wanted);
        if (measured.shapes.size() >= kShapesKept)
            measured.shapes.clear();
        measured.shapes.insert(std::move(shape));
    }
    l->setText(value);
}

void ScopePage::SetReadoutColor(TReadout which, TColor color)
{
    shade_.setColor(which, color);
    paintReadout(which);
}

void ScopePage::paintReadout(TReadout which)
{
    QLabel* l = readout(which);
    const std::optional<TColor> shown = shade_.shownColor(which);
    const QColor wanted = shown ? color::toQColor(*shown) : palette().color(QPalette::WindowText);
    // Every VA record sets the colours; a palette change costs a style pass and a repaint.
    if (l->palette().color(QPalette::WindowText) == wanted)
        return;
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, wanted);
    l->setPalette(p);
}

void ScopePage::LinkUp()
{
    if (!shade_.down())
        return;
    shade_.linkUp();
    for (TReadout which : kReadouts) {
        paintReadout(which);
        readout(which)->setToolTip({});
    }
}

void ScopePage::LinkDown()
{
    shade_.linkDown(QDateTime::currentMSecsSinceEpoch());
    for (TReadout which : kReadouts) {
        paintReadout(which);
        readout(which)->setToolTip(shade_.toolTip(which));
    }
}

void ScopePage::SetCounter(TEvent which, std::uint16_t value, TColor background)
{
    TValidateEdit* box = Counter(which);
    box->SetColor(background);
    box->SetText(QString::number(value));
}

void ScopePage::LoadLimits(const TIniFile& ini)
{
    TempLimit->SetText(cp1251::decode(ini.readString("Limits", "TEMPERATURE", "50")));
    VoltageLimit->SetText(cp1251::decode(ini.readString("Limits", "Voltage", "50")));
    CurrentLimit->SetText(cp1251::decode(ini.readString("Limits", "Current", "50")));
}

void ScopePage::SaveLimits(TIniFile& ini) const
{
    ini.writeString("Limits", "TEMPERATURE", cp1251::encode(TempLimit->Text()));
    ini.writeString("Limits", "Voltage", cp1251::encode(VoltageLimit->Text()));
    ini.writeString("Limits", "Current", cp1251::encode(CurrentLimit->Text()));
}
