#pragma once
// The few ways the window's pages make their controls, each under its design name.

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QString>

namespace controls {

inline QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

inline QCheckBox* checkBox(const char* name, const QString& caption, bool checked, QWidget* parent)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setChecked(checked);
    return c;
}

inline QLabel* label(const QString& caption, QWidget* parent, const char* name = nullptr)
{
    auto* l = new QLabel(caption, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}

inline QFont pixelFont(const QFont& base, int pixels, bool bold)
{
    QFont f = base;
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

} // namespace controls
