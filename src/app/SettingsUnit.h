#pragma once
#include "app/SettingsStore.h"
#include "common/SharedTypes.h"
#include "lingo/LingoComp.h"

#include <QDialog>
#include <QGroupBox>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <string>

class QCheckBox;
class TLangFlagsCombo;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// RadioGroup1: a framed group of exclusive choices whose selection may also be
// none (-1), as a configuration with a negative PhoneConnection gives.
class TRadioGroup : public QGroupBox, public TLingoItems {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);
    int ItemIndex() const;
    void SetItemIndex(int index);
    // The choices' texts, translated as the group's items.
    QStringList LingoItems() const override;
    void SetLingoItem(int index, const QString& text) override;
    QRadioButton* Item(int index) const { return items_.value(index); }
signals:
    // A choice was selected, by the user or by SetItemIndex.
    void Click();

private:
    QList<QRadioButton*> items_;
};

// The settings dialog. It edits a copy of the live configuration in its
// controls and commits the copy (to the file first, then to the live store)
// only when Save succeeds in full; Cancel, Escape and the window's close
// control bring back the values shown when the dialog was opened.
class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TSettingsForm(TSettingsStore& live, QWidget* parent = nullptr);

    // "Send LOG file": the owner opens the log e-mail dialog; this one stays open.
    std::function<void()> OnSendLog;
    // Where a failed save is logged; may be empty.
    TGetStrProc LogEvent;
    // The language Save stores: the language engine's current one (or the
    // one whose file failed to read while the design texts are shown).
    std::function<std::string()> CurrentLanguage;
    // The language read from the configuration; Timer1 switches to it.
    QString Language;
    // Tells the user why Save refused or failed; a test puts a recorder here.
    std::function<void(const QString& title, const QString& text)> ShowMessage;

    QLabel *Label9, *Label10, *Label13, *Label14;
    QLabel *Label5, *Label8, *Label15, *Label16;
    QLabel *Label6, *Label11, *Label17, *Label18;
    QLabel *Label7, *Label12, *Label19, *Label20;
    QLineEdit *DoorPhoneIP1Text, *DoorPhoneIP2Text, *DoorPhoneIP3Text, *DoorPhoneIP4Text;
    QLineEdit *DoorPhoneVideoPort1Text, *DoorPhoneVideoPort2Text, *DoorPhoneVideoPort3Text,
        *DoorPhoneVideoPort4Text;
    QLineEdit *DoorPhoneUserName1Text, *DoorPhoneUserName2Text, *DoorPhoneUserName3Text,
        *DoorPhoneUserName4Text;
    QLineEdit *DoorPhonePassword1Text, *DoorPhonePassword2Text, *DoorPhonePassword3Text,
        *DoorPhonePassword4Text;
    QCheckBox *CheckBox2, *CheckBox3, *CheckBox4;
    TRadioGroup* RadioGroup1;
    QCheckBox *PopUpCall, *PopUpAlways, *SaveToAVI, *SaveToJPG;
    QLineEdit *AVIDirectory, *JPGDirectory;
    QLabel *Label1, *Label4, *Label22, *Label2, *Label3, *Label21;
    QLineEdit *SipServerAdressText, *SipProxyAdressText, *CallPrefixText;
    QLineEdit *MyIdentityText, *MyPasswordText, *AuthIDText;
    TLangFlagsCombo* LangFlagsCombo1;
    QPushButton *Button1, *Button2, *Button3;
    QTimer* Timer1;
    TLingoClient* LingoClient1;

    // The values of the controls when the dialog was last shown.
    const TSettingsStore& RSettings() const { return rsettings_; }

    // Cancel: every control back to the values of the last showing.
    void reject() override;

    // The enabling rules, also run whenever a box or choice changes by code.
    void CheckBoxClick();
    void RadioGroup1Click();
    void PopUpAlwaysClick();

protected:
    // Loads the live values, takes the snapshot for Cancel and focuses Cancel.
    void showEvent(QShowEvent* event) override;

private:
    // About a second after creation: the configured language comes on screen.
    void Timer1Timer();
    void showTitle();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void buildControls();
    void loadControls(const TSettingsStore& s);
    void storeControls(TSettingsStore& s) const;
    void refuse(const std::string& control, const std::string& text);
    void log(const std::string& line) const;

    TSettingsStore& live_;
    TSettingsStore rsettings_;
    QString rlanguage_;
    std::map<std::string, QLineEdit*> edits_;
    std::map<std::string, QCheckBox*> checks_;
    bool inCheckBoxClick_ = false;
};
