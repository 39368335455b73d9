// Shows each widget as the console sets it up and saves a picture of each into the folder
// given on the command line (default /tmp): widgets_basic_gallery /tmp/shots
#include "widgets/Switch.h"
#include "widgets/ValidateEdit.h"
#include "widgets/WarningDialog.h"
#include "widgets/WarningForm.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>

#include <memory>

namespace {

TValidateEdit* counter(QWidget* page, const char* name, int left)
{
    auto* box = new QGroupBox(QStringLiteral(" %1: ").arg(QLatin1String(name)), page);
    box->setGeometry(left, 20, 78, 48);
    auto* edit = new TValidateEdit(box);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(6, 18, 65, 21);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(true);
    edit->setFont(f);
    edit->SetColor(clBackground);
    edit->SetFontColor(clBlack);
    return edit;
}

TValidateEdit* limit(QWidget* page, const char* name, int top)
{
    auto* label = new QLabel(QStringLiteral("Граница:"), page);
    label->move(24, top - 18);
    auto* edit = new TValidateEdit(page);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(24, top, 65, 21);
    edit->SetEditText(QStringLiteral("50"));
    edit->SetMaxLength(4);
    edit->SetMinValue(1);
    edit->SetMaxValue(9999);
    return edit;
}

TSwitch* aSwitch(QWidget* page, int left, int top, int w, int h, TTextPos pos)
{
    auto* sw = new TSwitch(page);
    sw->setGeometry(left, top, w, h);
    sw->SetCaption(QStringLiteral("Log"));
    sw->SetTextPosition(pos);
    return sw;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    QDir().mkpath(dir);

    QWidget window;
    window.setObjectName(QStringLiteral("Gallery"));
    window.resize(640, 420);
    QFont windowFont = window.font();
    windowFont.setPixelSize(11);
    window.setFont(windowFont);

    auto* stats = new QGroupBox(QStringLiteral(" Статистика: "), &window);
    stats->setGeometry(8, 8, 120, 380);
    limit(stats, "VoltageLimit", 80);
    auto* current = limit(stats, "CurrentLimit", 188);
    limit(stats, "TempLimit", 318);
    current->SetText(QStringLiteral("007"));

    auto* events = new QGroupBox(QStringLiteral(" Аварийни събития: "), &window);
    events->setGeometry(136, 8, 430, 80);
    auto* rk1 = counter(events, "RK1", 8);
    auto* rk2 = counter(events, "RK2", 92);
    counter(events, "RK3", 176);
    counter(events, "CFK", 260);
    counter(events, "SUK", 344);
    rk1->SetText(QStringLiteral("3"));
    rk1->SetColor(clRed);
    rk2->SetColor(clGreen);

    auto* logOff = aSwitch(&window, 140, 110, 50, 60, tpNone);
    logOff->setObjectName(QStringLiteral("Log"));
    auto* logOn = aSwitch(&window, 200, 110, 50, 60, tpNone);
    logOn->SetStateOn(true);
    auto* focused = aSwitch(&window, 260, 110, 50, 60, tpNone);
    auto* disabled = aSwitch(&window, 320, 110, 50, 60, tpNone);
    disabled->setEnabled(false);
    aSwitch(&window, 140, 190, 90, 60, tpLeft)->SetStateOn(true);
    aSwitch(&window, 240, 190, 90, 60, tpRight);
    aSwitch(&window, 340, 180, 50, 80, tpAbove);
    aSwitch(&window, 400, 180, 50, 80, tpBelow)->SetBorderStyle(TSwitch::bsSingle);

    window.show();

    TWarningDialog warning(&window);
    warning.setObjectName(QStringLiteral("Warning1"));
    warning.SetCaption(QStringLiteral("Connection Error"));
    warning.SetWarningMessage(QStringLiteral("Not Connected !  Go to Setup tab."));
    const std::unique_ptr<TWarningForm> form = warning.CreateForm();
    form->show();

    QTimer::singleShot(300, [&] {
        window.activateWindow();
        focused->setFocus();
        QTimer::singleShot(300, [&] {
            window.grab().save(dir + QStringLiteral("/gallery.png"));
            window.grab(QRect(136, 100, 330, 170))
                .scaled(660, 340)
                .save(dir + QStringLiteral("/switches_x2.png"));
            form->grab().save(dir + QStringLiteral("/warning.png"));
            app.quit();
        });
    });
    return app.exec();
}
