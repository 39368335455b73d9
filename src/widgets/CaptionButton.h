#pragma once
// An extra button for the window's top-right corner that reports clicks. A client program
// cannot add to the title bar here, so the button stands in a host near it: the corner of a
// tab widget, or the top-right corner of any other widget (the owner form by default).

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;

enum TCaptionButtonStandard { tsbNone, tsbClose, tsbHelp, tsbMax, tsbMin, tsbRestore, tsbMinimizeToTray };

class TCaptionButton : public QObject {
    Q_OBJECT
public:
    // Owner must be a top-level window widget; anything else throws std::invalid_argument
    // with "TCaptionButton owner must be a TCustomForm".
    explicit TCaptionButton(QObject* Owner);
    ~TCaptionButton() override;

    // The button widget itself.
    QWidget* Button() const;
    // A QTabWidget gets the button as its top-right corner widget; any other widget gets
    // it as a child kept at its top-right corner.
    void SetHost(QWidget* host);
    QWidget* Host() const { return host_; }
    QWidget* OwnerForm() const { return owner_; }

    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& c);
    const QString& Hint() const { return hint_; }
    void SetHint(const QString& h);
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& f);
    TCaptionButtonStandard Standard() const { return standard_; }
    void SetStandard(TCaptionButtonStandard s);
    // Moves the button Position standard-button widths further left.
    int Position() const { return position_; }
    void SetPosition(int p);
    int ButtonLeft() const { return left_; }
    void SetButtonLeft(int v);
    int ButtonTop() const { return top_; }
    void SetButtonTop(int v);
    int ButtonWidth() const { return width_; }
    void SetButtonWidth(int v);
    int ButtonHeight() const { return height_; }
    void SetButtonHeight(int v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    bool Visible() const { return visible_; }
    void SetVisible(bool on);
    // A toggle button stays down after a click until the next one.
    bool Toggle() const { return toggle_; }
    void SetToggle(bool on);
    bool Down() const { return down_; }
    void SetDown(bool on);
    // The tool-tip shows when ShowHint, or ParentShowHint and the owner's "ShowHint" property.
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool on);
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool on);

    // What a release inside the button does: flips Down when Toggle, then OnClick.
    void Click();

    std::function<void(QObject* Sender)> OnClick;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relayout();
    void updateHint();

    QPointer<QWidget> owner_;
    QPointer<QWidget> host_;
    QPointer<QWidget> face_;
    QString caption_;
    QString hint_;
    QFont font_;
    TCaptionButtonStandard standard_ = tsbNone;
    int position_ = 0;
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool enabled_ = true;
    bool visible_ = true;
    bool toggle_ = false;
    bool down_ = false;
    bool showHint_ = false;
    bool parentShowHint_ = true;
};
