#pragma once
// The terminal's find bar: a small strip over the top right of the terminal with the text to
// find, previous and next buttons and a close button. It only collects the request; the
// terminal searches its history and screen and shows the matches.
//
// Enter finds the next match (downwards), Shift+Enter the previous one, Escape closes the bar
// and gives the focus back to the terminal.

#include <QFrame>

class QLabel;
class QLineEdit;
class QToolButton;

class TTermFindBar : public QFrame {
    Q_OBJECT

public:
    explicit TTermFindBar(QWidget* parent);

    QString Text() const;
    // Opens the bar (with the given text when it is not empty) and selects what is there.
    void Open(const QString& text);
    // "n of m" or "Not found" beside the field.
    void SetResult(const QString& text, bool found);

    QLineEdit* Field() const { return field_; }

signals:
    // The text changed (incremental search) or a direction was asked for.
    void TextEdited(const QString& text);
    void FindRequested(bool backwards);
    void Closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* field_;
    QLabel* result_;
    QToolButton* previous_;
    QToolButton* next_;
    QToolButton* close_;
};
