#pragma once
// Where a stored capture or journal row came from, as the lists say it. The archive keeps ""
// for what happened live and "replay:" and the recording's absolute path for what a replay
// stored.

#include <QFileInfo>
#include <QString>

inline const QString kReplayOriginPrefix = QStringLiteral("replay:");

// The recording a row was replayed from; empty for a live one.
inline QString replayedFrom(const QString& origin)
{
    return origin.startsWith(kReplayOriginPrefix) ? origin.mid(kReplayOriginPrefix.size()) : QString();
}

// "възпроизведена от bench.ses" for a replayed row (the path in full is replayedFrom's, for the
// tool tip); empty for a live one. An origin of a kind this version does not know is shown as stored.
inline QString originCaption(const QString& origin)
{
    const QString path = replayedFrom(origin);
    if (path.isEmpty())
        return origin;
    return QStringLiteral("възпроизведена от %1").arg(QFileInfo(path).fileName());
}

// The tool tip for a row's origin: the recording's full path, or the origin as stored.
inline QString originTip(const QString& origin)
{
    const QString path = replayedFrom(origin);
    return path.isEmpty() ? origin : path;
}
