#pragma once
// The session bar of the terminal page: "Запиши сесия" (RecordSession) records the raw session
// to a file, "Възпроизведи сесия" (ReplaySession) replays a recording into the window at the
// pace chosen in ReplaySpeed; ReplayState tells how far it is. Both are actions as well, for
// the terminal's context menu. What they do is TSessionTape's.

#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QToolButton;

class SessionBar : public QWidget {
    Q_OBJECT
public:
    explicit SessionBar(QWidget* parent = nullptr);

    // Speeds in the order of ReplaySpeed's items; 0 as fast as it goes.
    static constexpr double kSpeeds[] = {1, 10, 0};
    double Speed() const;

    QAction* RecordAction = nullptr; // checkable: checked while recording
    QAction* ReplayAction = nullptr; // checkable: checked while replaying
    QToolButton* RecordSession = nullptr;
    QToolButton* ReplaySession = nullptr;
    QComboBox* ReplaySpeed = nullptr;
    QLabel* ReplayState = nullptr;
};
