#pragma once
// Warning dialog component: shows a short message in a modal window with an exclamation
// picture and "OK" / "Cancel".

#include "widgets/WarningDialogBase.h"

#include <QString>
#include <memory>

class TWarningForm;

class TWarningDialog : public TCommonDialogBase {
    Q_OBJECT
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    enum TVerticalAlignment { taAlignTop, taAlignBottom, taVerticalCenter };

    explicit TWarningDialog(QObject* owner = nullptr);
    ~TWarningDialog() override;

    // Window caption; empty means the standard caption "Warning".
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& c) { caption_ = c; }
    const QString& WarningMessage() const { return warningMessage_; }
    void SetWarningMessage(const QString& m) { warningMessage_ = m; }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a) { alignment_ = a; }
    TVerticalAlignment VerticalAlignment() const { return verticalAlignment_; }
    void SetVerticalAlignment(TVerticalAlignment a) { verticalAlignment_ = a; }

    // Shows the window modally; true when it was closed with "OK".
    bool Execute();

    // The window as Execute shows it, not yet shown (for pictures and tests).
    std::unique_ptr<TWarningForm> CreateForm() const;

    // The standard caption and button texts in the dialog's language.
    QString StandardCaption() const;

private:
    QString caption_;
    QString warningMessage_;
    TAlignment alignment_ = taLeftJustify;
    TVerticalAlignment verticalAlignment_ = taVerticalCenter;
};
