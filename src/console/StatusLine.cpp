#include "console/StatusLine.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

// The connection state: as wide as the line leaves it, the port name shortened in the
// middle (where by-id names differ least) when the whole text does not fit.
class TStateLabel : public QLabel {
public:
    using QLabel::QLabel;

    void setState(const QString& text, const QString& port)
    {
        full_ = text;
        port_ = port;
        setToolTip(text);
        fit();
    }
    const QString& state() const { return full_; }

    QSize minimumSizeHint() const override
    {
        return {
            fontMetrics().horizontalAdvance(QStringLiteral("Изключен")), QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override { return minimumSizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    void fit()
    {
        const QFontMetrics fm = fontMetrics();
        const int room = contentsRect().width();
        QString shown = full_;
        if (fm.horizontalAdvance(shown) > room) {
            const qsizetype at = port_.isEmpty() ? -1 : full_.indexOf(port_);
            if (at >= 0) {
                const QString before = full_.left(at);
                const QString after = full_.mid(at + port_.size());
                const int portRoom = std::max(0, room - fm.horizontalAdvance(before + after));
                shown = before + fm.elidedText(port_, Qt::ElideMiddle, portRoom) + after;
            }
            if (fm.horizontalAdvance(shown) > room)
                shown = fm.elidedText(shown, Qt::ElideRight, room);
        }
        if (text() != shown)
            QLabel::setText(shown);
    }

    QString full_;
    QString port_;
};

namespace {
namespace text {
const QString disconnected = QStringLiteral("Изключен");
const QString rx = QStringLiteral("Прием: %1");
const QString tx = QStringLiteral("Предаване: %1");
const QString records = QStringLiteral("Записи: %1/s");
const QString unanswered = QStringLiteral("Без отговор: %1");
const QString rejected = QStringLiteral("Отхвърлени: %1");
const QString lineErrors = QStringLiteral("Грешки: %1");
const QString lineErrorsHint
    = QStringLiteral("Грешки на линията от отварянето: рамка %1, четност %2, препълване %3, break %4");
const QString unansweredHint = QStringLiteral("Записи, на които се дължи отговор и не получиха: %1");
const QString rejectedHint
    = QStringLiteral("Редове без запис: без „W:“, с непознат вид или твърде дълги: %1");
// The widest figures each field makes room for (countText and rateText stay within them).
const QString widestRate = QStringLiteral("00.0 kB/s");
const QString widestCount = QStringLiteral("0000");
} // namespace text

// At most four characters: 9999, 125k, 37M, 4G.
QString countText(std::uint64_t n)
{
    static constexpr const char* kUnits[] = {"k", "M", "G", "T", "P", "E"};
    if (n < 10000)
        return QString::number(n);
    int unit = 0;
    n /= 1000;
    while (n >= 1000 && unit + 1 < int(std::size(kUnits))) {
        n /= 1000;
        ++unit;
    }
    return QString::number(n) + QLatin1String(kUnits[unit]);
}

QLabel* field(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

QString rateText(double bytesPerSecond)
{
    if (bytesPerSecond < 10000)
        return QStringLiteral("%1 B/s").arg(std::llround(bytesPerSecond));
    // One decimal up to 99.9, then whole numbers, then the next unit: never wider than
    // "00.0 kB/s".
    static constexpr const char* kUnits[] = {"kB/s", "MB/s", "GB/s"};
    double value = bytesPerSecond / 1000.0;
    std::size_t unit = 0;
    while (value >= 999.5 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    const QString number
        = value < 99.95 ? QString::number(value, 'f', 1) : QString::number(std::llround(value));
    return number + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

TStatusLine::TStatusLine(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("StatusLine"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(1);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(8);
    state_ = new TStateLabel(this);
    state_->setObjectName(QStringLiteral("StatusConnection"));
    state_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    state_->setState(text::disconnected, {});
    rx_ = field(this, "StatusRx");
    tx_ = field(this, "StatusTx");
    records_ = field(this, "StatusRecords");
    unanswered_ = field(this, "StatusUnanswered");
    rejected_ = field(this, "StatusRejected");
    lineErrors_ = field(this, "StatusLineErrors");
    // Shares the room the connection state leaves, shortened with the whole text as its tip,
    // so a long reason never widens the window.
    archive_ = new TStateLabel(this);
    archive_->setObjectName(QStringLiteral("StatusArchive"));
    archive_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    archive_->hide();
    layout->addWidget(state_, 1);
    for (QLabel* l : {rx_, tx_, records_, unanswered_, rejected_, lineErrors_})
        layout->addWidget(l);
    layout->addWidget(archive_, 1);
    // A line of its own below the figures, shown while there is something to say: the line
    // above is full at the window's design width.
    notice_ = field(this, "StatusNotice");
    notice_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    notice_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    notice_->hide();
    rows->addLayout(layout);
    rows->addWidget(notice_);
    fitFields();
    showFigures({}, {});
}

void TStatusLine::setArchiveState(const QString& text)
{
    archive_->setState(text, {});
    archive_->setVisible(!text.isEmpty());
}

QString TStatusLine::archiveState() const
{
    return archive_->state();
}

void TStatusLine::fitFields()
{
    if (!lineErrors_)
        return;
    const QFontMetrics fm = fontMetrics();
    const auto fix = [&](QLabel* label, const QString& widest) {
        label->setFixedWidth(fm.horizontalAdvance(widest) + 2 * label->margin() + 2);
    };
    fix(rx_, text::rx.arg(text::widestRate));
    fix(tx_, text::tx.arg(text::widestRate));
    fix(records_, text::records.arg(text::widestCount));
    fix(unanswered_, text::unanswered.arg(text::widestCount));
    fix(rejected_, text::rejected.arg(text::widestCount));
    fix(lineErrors_, text::lineErrors.arg(text::widestCount));
}

void TStatusLine::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitFields();
}

void TStatusLine::setConnectionState(const QString& text, const QString& port)
{
    state_->setState(text, port);
}

QString TStatusLine::connectionState() const
{
    return state_->state();
}

void TStatusLine::setNotice(const QString& text)
{
    notice_->setText(text);
    notice_->setVisible(!text.isEmpty());
}

QString TStatusLine::notice() const
{
    return notice_->text();
}

void TStatusLine::showFigures(const TLinkFigures& f, const TLineErrorCounts& e)
{
    rx_->setText(text::rx.arg(rateText(f.rxBytesPerSecond)));
    tx_->setText(text::tx.arg(rateText(f.txBytesPerSecond)));
    records_->setText(text::records.arg(countText(std::uint64_t(std::llround(f.recordsPerSecond)))));
    unanswered_->setText(text::unanswered.arg(countText(f.unanswered)));
    unanswered_->setToolTip(text::unansweredHint.arg(f.unanswered));
    rejected_->setText(text::rejected.arg(countText(f.rejected)));
    rejected_->setToolTip(text::rejectedHint.arg(f.rejected));
    lineErrors_->setText(text::lineErrors.arg(countText(e.Framing + e.Parity + e.Overrun + e.Breaks)));
    lineErrors_->setToolTip(text::lineErrorsHint.arg(e.Framing).arg(e.Parity).arg(e.Overrun).arg(e.Breaks));
}

QString TStatusLine::figuresText() const
{
    QStringList parts;
    for (QLabel* l : {rx_, tx_, records_, unanswered_, rejected_, lineErrors_})
        parts << l->text();
    return parts.join(QStringLiteral(" | "));
}
