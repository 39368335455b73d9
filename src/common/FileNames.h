#pragma once
// The extension a chosen file name gets when the operator typed none. Each save keeps the rule
// its users know: the log and the settings file take theirs unless the name ends in it written
// all in lower or all in upper case (".Ini" gets ".ini" added), exports and pictures unless it
// ends in it in any case, the terminal's text unless the name has any extension at all.

#include <QFileInfo>
#include <QString>

enum class TExtensionRule { LowerOrUpper, AnyCase, AnyExtension };

// `extension` with its dot, in lower case. An empty name (nothing chosen) stays empty.
inline QString withExtension(const QString& path, const QString& extension, TExtensionRule rule)
{
    if (path.isEmpty())
        return path;
    bool has = false;
    switch (rule) {
    case TExtensionRule::LowerOrUpper:
        has = path.endsWith(extension) || path.endsWith(extension.toUpper());
        break;
    case TExtensionRule::AnyCase:
        has = path.endsWith(extension, Qt::CaseInsensitive);
        break;
    case TExtensionRule::AnyExtension:
        has = !QFileInfo(path).suffix().isEmpty();
        break;
    }
    return has ? path : path + extension;
}
