#include "console/HelpPage.h"

#include "console/PageControls.h"
#include "console/WindowTexts.h"
#include "console/core/JpegImage.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPixmap helpPicture(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QPixmap::fromImage(decodeJpeg(file.readAll()));
}

QString helpText()
{
    QFile file(QStringLiteral(":/help/overview.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

HelpPage::HelpPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet1"));
    WinCalc = controls::button("WinCalc", text::winCalc, this);
    Button15 = controls::button("Button15", text::ownCalc, this);

    PageControl2 = new QTabWidget(this);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    Memo2 = new QPlainTextEdit;
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setReadOnly(true);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setPlainText(helpText());
    PageControl2->addTab(Memo2, text::helpOverview);
    for (int i = 0; i < 3; ++i) {
        auto* box = new QScrollArea;
        box->setObjectName(QStringLiteral("ScrollBox%1").arg(i + 1));
        auto* image = new QLabel;
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        const QPixmap picture = helpPicture(QStringLiteral(":/help/scheme%1.jpg").arg(i + 1));
        image->setPixmap(picture);
        image->resize(picture.size());
        box->setWidget(image);
        SchemeBoxes[std::size_t(i)] = box;
        SchemeImages[std::size_t(i)] = image;
        PageControl2->addTab(box, text::scheme.arg(i + 1));
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(WinCalc);
    buttons->addWidget(Button15);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(PageControl2, 1);
}
