#include "console/StatusLine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

namespace {
namespace text {
const QString disconnected = QStringLiteral("Изключен");
const QString rx = QStringLiteral("Прием: %1");
const QString tx = QStringLiteral("Предаване: %1");
const QString records = QStringLiteral("Записи: %1/s");
const QString unanswered = QStringLiteral("Без отговор: %1");
const QString rejected = QStringLiteral("Отхвърлени: %1");
const QString lineErrors = QStringLiteral("Грешки на линията: %1/%2/%3/%4");
const QString lineErrorsHint
    = QStringLiteral("Грешки на линията от отварянето: рамка/четност/препълване/break");
const QString unansweredHint = QStringLiteral("Записи, на които конзолата не отговори");
const QString rejectedHint = QStringLiteral("Редове без запис: без „W:“, с непознат вид или твърде дълги");
} // namespace text

QLabel* field(QWidget* parent, const char* name, const QString& hint = {})
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setToolTip(hint);
    return label;
}

} // namespace

QString rateText(double bytesPerSecond)
{
    if (bytesPerSecond < 10000)
        return QStringLiteral("%1 B/s").arg(std::llround(bytesPerSecond));
    return QStringLiteral("%1 kB/s").arg(bytesPerSecond / 1000.0, 0, 'f', 1);
}

TStatusLine::TStatusLine(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("StatusLine"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 2, 6, 2);
    rows->setSpacing(1);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(14);
    state_ = field(this, "StatusConnection");
    state_->setText(text::disconnected);
    rx_ = field(this, "StatusRx");
    tx_ = field(this, "StatusTx");
    records_ = field(this, "StatusRecords");
    unanswered_ = field(this, "StatusUnanswered", text::unansweredHint);
    rejected_ = field(this, "StatusRejected", text::rejectedHint);
    lineErrors_ = field(this, "StatusLineErrors", text::lineErrorsHint);
    layout->addWidget(state_, 1);
    for (QLabel* l : {rx_, tx_, records_, unanswered_, rejected_, lineErrors_})
        layout->addWidget(l);
    // A line of its own below the figures, shown while there is something to say: the line
    // above is full at the window's design width.
    notice_ = field(this, "StatusNotice");
    notice_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    notice_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    notice_->hide();
    rows->addLayout(layout);
    rows->addWidget(notice_);
    showFigures({}, {});
}

void TStatusLine::setConnectionState(const QString& text)
{
    state_->setText(text);
}

QString TStatusLine::connectionState() const
{
    return state_->text();
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
    records_->setText(text::records.arg(std::llround(f.recordsPerSecond)));
    unanswered_->setText(text::unanswered.arg(f.unanswered));
    rejected_->setText(text::rejected.arg(f.rejected));
    lineErrors_->setText(text::lineErrors.arg(e.Framing).arg(e.Parity).arg(e.Overrun).arg(e.Breaks));
}

QString TStatusLine::figuresText() const
{
    QStringList parts;
    for (QLabel* l : {rx_, tx_, records_, unanswered_, rejected_, lineErrors_})
        parts << l->text();
    return parts.join(QStringLiteral(" | "));
}
