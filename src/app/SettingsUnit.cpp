#include "app/SettingsUnit.h"

#include "app/AppUtils.h"
#include "app/DataModule.h"
#include "app/SettingsCheck.h"
#include "lingo/LingoCtrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
    for (const QString& text : items) {
        auto* b = new QRadioButton(text, this);
        items_.append(b);
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on) emit Click();
        });
    }
}

QStringList TRadioGroup::LingoItems() const {
    QStringList out;
    for (const QRadioButton* b : items_)
        out.append(b->text());
    return out;
}

void TRadioGroup::SetLingoItem(int index, const QString& text) {
    if (index >= 0 && index < items_.size()) items_[index]->setText(text);
}

int TRadioGroup::ItemIndex() const {
    for (int i = 0; i < items_.size(); ++i)
        if (items_[i]->isChecked()) return i;
    return -1;
}

void TRadioGroup::SetItemIndex(int index) {
    if (index < 0 || index >= items_.size()) {
        // An exclusive button refuses to be unchecked: lift the rule for a moment.
        for (QRadioButton* b : items_) {
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
        return;
    }
    items_[index]->setChecked(true);
}

TSettingsForm::TSettingsForm(TSettingsStore& live, QWidget* parent)
    : QDialog(parent), live_(live), rsettings_(live) {
    setObjectName("SettingsForm");
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(499, 440);
    setModal(true);
    setWindowTitle(QStringLiteral("VELNORA Manager 3.6"));
    buildControls();

    ShowMessage = [this](const QString& title, const QString& text) {
        QMessageBox::warning(this, title, text);
    };
    CurrentLanguage = [] { return ConfiguredLanguage().toStdString(); };

    // Configuration values are the user's: never given a design text. The
    // title shows the console's address, set by program code.
    for (const auto& [name, e] : edits_)
        lingo::KeepUserText(e);
    lingo::KeepUserText(this);
    // The dialog as designed, recorded before its start-up changes any text.
    LingoClient1 = new TLingoClient(this, DataModule1().LingoEngine1);
    LingoClient1->OnChangeLanguage = [this](QObject*) {
        showTitle();
        // The names a screen reader gives the fields follow the language too.
        for (const auto& [name, e] : edits_)
            e->setAccessibleName(qs(SettingsFieldName(name)));
        for (const auto& [name, c] : checks_)
            c->setAccessibleName(qs(SettingsFieldName(name)));
        RadioGroup1->setAccessibleName(qs(SettingsFieldName("RadioGroup1")));
        LangFlagsCombo1->setAccessibleName(qs(SettingsFieldName("LangFlagsCombo1")));
    };

    loadControls(live_);
    Language = qs(live_.Text("Language"));
    rsettings_ = live_;
    storeControls(rsettings_);
    rlanguage_ = Language;
    Timer1->start();
    showTitle();
    LingoClient1->OwnerCreated();
}

void TSettingsForm::showTitle() {
    setWindowTitle(qs(std::string(VersionName) + "    IP:" + GetLocalIP()));
}

void TSettingsForm::Timer1Timer() {
    Timer1->stop();
    DataModule1().LingoEngine1->Translate(Language);
}

void TSettingsForm::buildControls() {
    auto label = [this](const char* name, const char* text, int left, int top, int width) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(name);
        l->setGeometry(left, top, width, 13);
        return l;
    };
    auto edit = [this](const std::string& name, const char* text, int left, int top, int width) {
        auto* e = new QLineEdit(QString::fromUtf8(text), this);
        e->setObjectName(qs(name));
        e->setAccessibleName(qs(SettingsFieldName(name)));
        e->setGeometry(left, top, width, 21);
        edits_[name] = e;
        return e;
    };
    auto check = [this](const std::string& name, const char* text, int left, int top, int width) {
        auto* c = new QCheckBox(QString::fromUtf8(text), this);
        c->setObjectName(qs(name));
        c->setAccessibleName(qs(SettingsFieldName(name)));
        c->setGeometry(left, top, width, 17);
        checks_[name] = c;
        return c;
    };
    auto button = [this](const char* name, const char* text, int left) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(name);
        b->setAccessibleName(QString::fromUtf8(text));
        b->setGeometry(left, 410, 118, 25);
        return b;
    };

    // Door phones 1 to 4, one row each; created row by row so that Tab walks the rows in order.
    static const int labelTops[] = {8, 54, 96, 138};
    static const int editTops[] = {27, 73, 115, 157};
    static const char* const labelNames[4][4] = {{"Label9", "Label10", "Label13", "Label14"},
                                                 {"Label5", "Label8", "Label15", "Label16"},
                                                 {"Label6", "Label11", "Label17", "Label18"},
                                                 {"Label7", "Label12", "Label19", "Label20"}};
    static const char* const ipLabels[] = {
        "DoorPhone IP1:", "DoorPhone IP2:", "DoorPhone IP3:", "DoorPhone IP4:"};
    static const char* const ipDefaults[] = {"192.168.1.250", "192.168.1.251", "192.168.1.252",
                                             "192.168.1.253"};
    QLabel* labels[4][4];
    QLineEdit* rowEdits[4][4];
    QCheckBox* rowChecks[4] = {nullptr, nullptr, nullptr, nullptr};
    for (int r = 0; r < 4; ++r) {
        const std::string n = std::to_string(r + 1);
        const int lt = labelTops[r], et = editTops[r];
        labels[r][0] = label(labelNames[r][0], ipLabels[r], 30, lt, 119);
        labels[r][1] = label(labelNames[r][1], r == 3 ? " Video Port:" : "Video Port:", 155, lt, 62);
        labels[r][2] = label(labelNames[r][2], "User Name:", 224, lt, 103);
        labels[r][3] = label(labelNames[r][3], "Password:", 333, lt, 103);
        if (r > 0) rowChecks[r] = check("CheckBox" + n, "", 9, et + 2, 24);
        rowEdits[r][0] = edit("DoorPhoneIP" + n + "Text", ipDefaults[r], 30, et, 119);
        rowEdits[r][1] = edit("DoorPhoneVideoPort" + n + "Text", "80", 155, et, 62);
        rowEdits[r][2] = edit("DoorPhoneUserName" + n + "Text", "", 224, et, 103);
        rowEdits[r][3] = edit("DoorPhonePassword" + n + "Text", "", 333, et, 103);
        for (int c = 0; c < 4; ++c)
            labels[r][c]->setBuddy(rowEdits[r][c]);
    }
    Label9 = labels[0][0], Label10 = labels[0][1], Label13 = labels[0][2], Label14 = labels[0][3];
    Label5 = labels[1][0], Label8 = labels[1][1], Label15 = labels[1][2], Label16 = labels[1][3];
    Label6 = labels[2][0], Label11 = labels[2][1], Label17 = labels[2][2], Label18 = labels[2][3];
    Label7 = labels[3][0], Label12 = labels[3][1], Label19 = labels[3][2], Label20 = labels[3][3];
    DoorPhoneIP1Text = rowEdits[0][0], DoorPhoneIP2Text = rowEdits[1][0];
    DoorPhoneIP3Text = rowEdits[2][0], DoorPhoneIP4Text = rowEdits[3][0];
    DoorPhoneVideoPort1Text = rowEdits[0][1], DoorPhoneVideoPort2Text = rowEdits[1][1];
    DoorPhoneVideoPort3Text = rowEdits[2][1], DoorPhoneVideoPort4Text = rowEdits[3][1];
    DoorPhoneUserName1Text = rowEdits[0][2], DoorPhoneUserName2Text = rowEdits[1][2];
    DoorPhoneUserName3Text = rowEdits[2][2], DoorPhoneUserName4Text = rowEdits[3][2];
    DoorPhonePassword1Text = rowEdits[0][3], DoorPhonePassword2Text = rowEdits[1][3];
    DoorPhonePassword3Text = rowEdits[2][3], DoorPhonePassword4Text = rowEdits[3][3];
    CheckBox2 = rowChecks[1], CheckBox3 = rowChecks[2], CheckBox4 = rowChecks[3];
    CheckBox3->setEnabled(false);
    CheckBox4->setEnabled(false);

    RadioGroup1 = new TRadioGroup(QStringLiteral(" Phone connection "),
                                  {QStringLiteral("Peer-To-Peer"), QStringLiteral("SIP server")}, this);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1->setAccessibleName(qs(SettingsFieldName("RadioGroup1")));
    RadioGroup1->setGeometry(8, 184, 141, 128);
    RadioGroup1->Item(0)->setGeometry(8, 32, 125, 17);
    RadioGroup1->Item(1)->setGeometry(8, 80, 125, 17);
    RadioGroup1->SetItemIndex(0);

    PopUpCall = check("PopUpCall", "Pop-Up upon call", 177, 187, 309);
    PopUpAlways = check("PopUpAlways", "Pop-Up always", 177, 207, 309);
    SaveToAVI = check("SaveToAVI", "Save call to Record dir as AVI:", 177, 227, 309);
    AVIDirectory = edit("AVIDirectory", "", 177, 248, 309);
    SaveToJPG = check("SaveToJPG", "Save call to Snapshot dir as JPG:", 177, 276, 309);
    JPGDirectory = edit("JPGDirectory", "", 177, 295, 309);

    Label1 = label("Label1", "SIP server adress:", 8, 318, 119);
    Label4 = label("Label4", "SIP proxy adress:", 132, 318, 119);
    Label22 = label("Label22", "Call prefix:", 257, 318, 119);
    SipServerAdressText = edit("SipServerAdressText", "192.168.1.5", 8, 335, 119);
    SipProxyAdressText = edit("SipProxyAdressText", "192.168.1.5", 132, 336, 119);
    CallPrefixText = edit("CallPrefixText", "", 257, 337, 119);
    Label2 = label("Label2", "My identity:", 8, 362, 119);
    Label3 = label("Label3", "My password:", 133, 362, 119);
    Label21 = label("Label21", "Auth. ID:", 258, 362, 119);
    MyIdentityText = edit("MyIdentityText", "101", 8, 381, 119);
    MyPasswordText = edit("MyPasswordText", "7wrtzm3", 133, 381, 119);
    AuthIDText = edit("AuthIDText", "", 258, 381, 119);
    Label1->setBuddy(SipServerAdressText);
    Label4->setBuddy(SipProxyAdressText);
    Label22->setBuddy(CallPrefixText);
    Label2->setBuddy(MyIdentityText);
    Label3->setBuddy(MyPasswordText);
    Label21->setBuddy(AuthIDText);

    LangFlagsCombo1 = new TLangFlagsCombo(this);
    LangFlagsCombo1->setObjectName("LangFlagsCombo1");
    LangFlagsCombo1->setAccessibleName(qs(SettingsFieldName("LangFlagsCombo1")));
    LangFlagsCombo1->setGeometry(8, 412, 65, 22);
    // Picking a language switches the whole console at once.
    LangFlagsCombo1->SetLingoEngine(DataModule1().LingoEngine1);

    Button1 = button("Button1", "Send LOG file", 94);
    Button2 = button("Button2", "Save", 232);
    Button3 = button("Button3", "Cancel", 368);
    Button3->setDefault(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TSettingsForm::Timer1Timer);

    for (QCheckBox* c : {CheckBox2, CheckBox3, CheckBox4})
        connect(c, &QCheckBox::toggled, this, &TSettingsForm::CheckBoxClick);
    connect(RadioGroup1, &TRadioGroup::Click, this, &TSettingsForm::RadioGroup1Click);
    connect(PopUpAlways, &QCheckBox::toggled, this, &TSettingsForm::PopUpAlwaysClick);
    connect(Button1, &QPushButton::clicked, this, &TSettingsForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TSettingsForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TSettingsForm::Button3Click);
}

void TSettingsForm::CheckBoxClick() {
    // Unchecking a box below toggles it again; one pass sets the whole chain.
    if (inCheckBoxClick_) return;
    inCheckBoxClick_ = true;
    QCheckBox* chain[] = {nullptr, nullptr, CheckBox2, CheckBox3, CheckBox4};
    for (int n = 3; n <= 4; ++n) {
        if (chain[n - 1]->isChecked()) {
            chain[n]->setEnabled(true);
        } else {
            chain[n]->setChecked(false);
            chain[n]->setEnabled(false);
        }
    }
    for (int n = 2; n <= 4; ++n) {
        const std::string k = std::to_string(n);
        for (const char* stem :
             {"DoorPhoneIP", "DoorPhoneVideoPort", "DoorPhoneUserName", "DoorPhonePassword"})
            edits_.at(stem + k + "Text")->setEnabled(chain[n]->isChecked());
    }
    inCheckBoxClick_ = false;
}

void TSettingsForm::RadioGroup1Click() {
    const int index = RadioGroup1->ItemIndex();
    if (index < 0) return;
    for (QLineEdit* e : {SipServerAdressText, SipProxyAdressText, MyIdentityText, MyPasswordText, AuthIDText,
                         CallPrefixText})
        e->setEnabled(index == 1);
}

void TSettingsForm::PopUpAlwaysClick() {
    // The check mark of PopUpCall stays: a disabled but checked box still counts.
    PopUpCall->setEnabled(!PopUpAlways->isChecked());
}

void TSettingsForm::loadControls(const TSettingsStore& s) {
    for (const auto& [name, e] : edits_)
        e->setText(qs(s.Text(name)));
    // Boxes in chain order; each change runs CheckBoxClick, as a click would.
    for (const char* name :
         {"CheckBox2", "CheckBox3", "CheckBox4", "PopUpCall", "PopUpAlways", "SaveToAVI", "SaveToJPG"})
        checks_.at(name)->setChecked(s.Checked(name));
    RadioGroup1->SetItemIndex(s.ItemIndex());
    CheckBoxClick();
    RadioGroup1Click();
    PopUpAlwaysClick();
}

void TSettingsForm::storeControls(TSettingsStore& s) const {
    for (const auto& [name, e] : edits_)
        s.SetText(name, e->text().toStdString());
    for (const auto& [name, c] : checks_)
        s.SetChecked(name, c->isChecked());
    s.SetItemIndex(RadioGroup1->ItemIndex());
}

void TSettingsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return; // the window manager restoring it is no new showing
    loadControls(live_);
    storeControls(rsettings_);
    rsettings_.SetText("Language", live_.Text("Language"));
    rlanguage_ = Language;
    CheckBoxClick();
    Button3->setFocus();
}

void TSettingsForm::reject() {
    Button3Click();
}

void TSettingsForm::Button1Click() {
    if (OnSendLog) OnSendLog();
}

void TSettingsForm::Button2Click() {
    TSettingsStore edited(live_);
    storeControls(edited);
    const std::string language = CurrentLanguage ? CurrentLanguage() : live_.Text("Language");
    edited.SetText("Language", language);
    if (auto p = CheckSettings(edited)) return refuse(p->control, p->message);
    if (auto p = PrepareFolders(edited)) return refuse(p->control, p->message);
    std::string error;
    if (!edited.Save(language, &error)) {
        const std::string file = edited.IniFileName();
        log("SETTINGS: error 5201: Button2Click: " + file + ": " + error);
        if (ShowMessage)
            ShowMessage(
                qs(SettingsText("Settings not saved")),
                qs(SettingsText("The settings could not be saved to the file \"%1\": %2.", {file, error}) +
                   "\n" + SettingsText("Nothing was changed; your entries are still in the dialog.")));
        return;
    }
    live_ = edited;
    loadControls(live_); // empty folders now show their default folders
    accept();
}

void TSettingsForm::Button3Click() {
    // The language engine keeps a language picked meanwhile; Save stores it.
    loadControls(rsettings_);
    Language = rlanguage_;
    QDialog::reject();
}

void TSettingsForm::refuse(const std::string& control, const std::string& text) {
    if (ShowMessage) ShowMessage(qs(SettingsText("Settings not saved")), qs(text));
    QWidget* w = control == "Language" ? static_cast<QWidget*>(LangFlagsCombo1) : nullptr;
    if (auto e = edits_.find(control); e != edits_.end()) w = e->second;
    if (auto c = checks_.find(control); c != checks_.end()) w = c->second;
    if (w) w->setFocus();
}

void TSettingsForm::log(const std::string& line) const {
    if (LogEvent) LogEvent(line);
}
