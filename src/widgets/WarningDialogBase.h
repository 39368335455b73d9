#pragma once
// Base of the non-visual dialog components: language of the standard texts, the sound
// played on opening, the help topic and the font.

#include <QFont>
#include <QObject>

enum TDialogLanguage {
    dlEnglish,
    dlRussian,
    dlUkranian,
    dlFrench,
    dlPortuguese,
    dlSpanish,
    dlGerman,
    dlDanish,
    dlItalian,
    dlSwedish,
    dlDutch,
    dlPolish,
    dlHungarian,
    dlTurkish,
    dlSlovak,
    dlKorean,
};

enum TSoundType { stNoSound, stStandart, stAsterisk, stExclamation, stSystemHand, stQuestion, stDefault };

class TCommonDialogBase : public QObject {
    Q_OBJECT
public:
    explicit TCommonDialogBase(QObject* owner = nullptr);

    TDialogLanguage Language() const { return language_; }
    void SetLanguage(TDialogLanguage l) { language_ = l; }
    TSoundType SoundType() const { return soundType_; }
    void SetSoundType(TSoundType s) { soundType_ = s; }
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int c) { helpContext_ = c; }
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& f) { font_ = f; }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool on) { parentFont_ = on; }

    // The owner when it is a form (a top-level widget), else null.
    QWidget* OwnerForm() const;
    // The font a dialog window takes: the owning form's with ParentFont, else Font.
    QFont DialogFont() const;

    // The sound code of a sound type (the beep number of the window system); -1 for none.
    static int SoundCode(TSoundType s);
    // Plays the sound of SoundType (the desktop's beep, when any sound is asked for).
    void PlaySound() const;

private:
    TDialogLanguage language_ = dlEnglish;
    TSoundType soundType_ = stNoSound;
    int helpContext_ = 0;
    QFont font_;
    bool parentFont_ = true;
};
