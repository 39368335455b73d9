#pragma once
// The operator's open and save file dialogs as the window's parts ask for them: a caption, the
// folder (or the file proposed), a filter and whether it saves. An empty answer means the
// operator cancelled.

#include <QString>
#include <functional>

using TFileDialog
    = std::function<QString(const QString& caption, const QString& folder, const QString& filter, bool save)>;
