#include "widgets/WarningForm.h"

#include "widgets/SwitchWarningPictures.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kClientWidth = 402;
constexpr int kClientHeight = 169;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int left)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(TWarningForm::Scaled(left), TWarningForm::Scaled(128), TWarningForm::Scaled(100),
        TWarningForm::Scaled(30));
    return b;
}

} // namespace

int TWarningForm::Scaled(int designPixels)
{
    return designPixels * 96 / 120;
}

TWarningForm::TWarningForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("WarningForm"));
    setWindowFlags(
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(Scaled(kClientWidth), Scaled(kClientHeight));

    bevel_ = new QFrame(this);
    bevel_->setObjectName(QStringLiteral("Bevel1"));
    bevel_->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel_->setGeometry(Scaled(10), Scaled(10), Scaled(381), Scaled(106));

    const QPixmap picture = switch_warning::picture("EXCLAMATIONICON");
    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setAttribute(Qt::WA_TranslucentBackground);
    image_->setScaledContents(true);
    image_->setPixmap(picture);
    // The frame's middle, so the picture sits centred whatever the scale.
    const int imageHeight = Scaled(64);
    image_->setGeometry(
        Scaled(15), bevel_->y() + (bevel_->height() - imageHeight) / 2, Scaled(48), imageHeight);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("Message"));
    message_->setWordWrap(true);
    message_->setGeometry(Scaled(70), Scaled(20), Scaled(311), Scaled(86));

    okBtn_ = makeButton(this, "OKBtn", QStringLiteral("OK"), 36);
    okBtn_->setDefault(true);
    okBtn_->setAutoDefault(true);
    connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);
    cancelBtn_ = makeButton(this, "CancelBtn", QStringLiteral("Cancel"), 151);
    connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
    helpBtn_ = makeButton(this, "HelpBtn", QStringLiteral("&Help"), 266);
}

void TWarningForm::HideHelp()
{
    helpBtn_->hide();
    okBtn_->move(Scaled(93), okBtn_->y());
    cancelBtn_->move(Scaled(208), cancelBtn_->y());
}
