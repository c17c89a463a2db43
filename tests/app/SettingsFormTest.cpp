// The settings dialog as the user drives it: clicks, typing, Save and Cancel,
// and what reaches the file and the live settings.
#include "app/AppUtils.h"
#include "app/DataModule.h"
#include "app/SettingsUnit.h"
#include "lingo/LingoCtrls.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const DoorPhoneStems[] = {"DoorPhoneIP", "DoorPhoneVideoPort", "DoorPhoneUserName",
                                      "DoorPhonePassword"};
const char* const SipEdits[] = {"SipServerAdressText", "SipProxyAdressText", "MyIdentityText",
                                "MyPasswordText",      "AuthIDText",         "CallPrefixText"};

// Every value of a store, for "nothing changed" checks.
std::string dump(const TSettingsStore& s) {
    std::string out;
    for (const auto& k : TSettingsStore::Keys()) {
        out += k.control;
        out += '=';
        if (k.kind == TSettingsStore::Kind::Bool)
            out += s.Checked(k.control) ? "1" : "0";
        else if (k.kind == TSettingsStore::Kind::Choice)
            out += std::to_string(s.ItemIndex());
        else
            out += s.Text(k.control);
        out += '\n';
    }
    return out;
}

class SettingsForm : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::makeTempDir("cfg");
        testenv::writeFile(dir + "/file", "not a folder");
        writeIni(dir, "");
    }
    void TearDown() override {
        form.reset();
        live.reset();
    }

    // A loopback configuration with door phone 2 off, peer-to-peer, plus extra lines.
    void writeIni(const std::string& folder, const std::string& extra) {
        testenv::writeFile(folder + "/VELNORA_Manager.ini",
                           "[global]\r\nRemoteDoorPhoneIP1=127.0.0.1\r\nRemoteDoorVideoPort1=8081\r\n"
                           "RemoteDoorPhoneIP2=127.0.0.2\r\nRemoteDoorPhoneIP3=127.0.0.3\r\n"
                           "RemoteDoorPhoneIP4=127.0.0.4\r\nSipServerAdress=127.0.0.1\r\n"
                           "SipProxyAdress=127.0.0.1\r\nMyPassword=secret\r\nLanguage=EN\r\n"
                           "AVIDirectory=" +
                               dir + "/rec\r\nJPGDirectory=" + dir + "/snap\r\n" + extra);
    }
    std::string iniFile() const { return live->IniFileName(); }
    std::string ini() const { return testenv::readFile(iniFile()); }

    void makeForm(const std::string& folder = {}) {
        live = std::make_unique<TSettingsStore>(folder.empty() ? dir : folder);
        live->Load();
        form = std::make_unique<TSettingsForm>(*live);
        form->ShowMessage = [this](const QString&, const QString& text) {
            messages.push_back(text.toStdString());
        };
        form->LogEvent = [this](const std::string& line) { logLines.push_back(line); };
        form->OnSendLog = [this] { ++sendLogCalls; };
    }
    void showForm() {
        form->show();
        ASSERT_TRUE(form->isVisible());
    }

    QLineEdit* edit(const std::string& name) const {
        auto* e = form->findChild<QLineEdit*>(QString::fromStdString(name));
        EXPECT_TRUE(e) << name;
        return e;
    }
    QCheckBox* box(const std::string& name) const {
        auto* c = form->findChild<QCheckBox*>(QString::fromStdString(name));
        EXPECT_TRUE(c) << name;
        return c;
    }
    // A click where the user would aim: on the box or round mark, or on the button.
    static void click(QAbstractButton* b) {
        ASSERT_TRUE(b);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }
    void clickName(const std::string& name) const {
        if (name == "Peer-To-Peer") return click(form->RadioGroup1->Item(0));
        if (name == "SIP server") return click(form->RadioGroup1->Item(1));
        click(box(name));
    }
    // Replaces the edit's text by typing, as a user does.
    static void type(QLineEdit* e, const QString& text) {
        ASSERT_TRUE(e);
        ASSERT_TRUE(e->isEnabled());
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
        ASSERT_EQ(e->text(), text);
    }

    std::string dir;
    std::unique_ptr<TSettingsStore> live;
    std::unique_ptr<TSettingsForm> form;
    std::vector<std::string> messages;
    std::vector<std::string> logLines;
    int sendLogCalls = 0;
};

} // namespace

TEST_F(SettingsForm, ControlsSitWhereTheDeskExpectsThemUnderTheirNames) {
    makeForm();
    EXPECT_EQ(form->size(), QSize(499, 440));
    EXPECT_EQ(form->font().pixelSize(), 11);
    EXPECT_EQ(form->font().family(), "Tahoma");
    EXPECT_EQ(form->windowTitle().toStdString(), std::string("VELNORA_Manager_3.6    IP:") + GetLocalIP());

    struct Place {
        std::string name;
        int x, y, w, h; // h 0: not fixed
        std::string accessible;
    };
    std::vector<Place> places;
    const int editTops[] = {27, 73, 115, 157};
    for (int r = 0; r < 4; ++r) {
        const std::string n = std::to_string(r + 1);
        const int t = editTops[r];
        places.push_back({"DoorPhoneIP" + n + "Text", 30, t, 119, 0, "DoorPhone IP" + n + ":"});
        places.push_back({"DoorPhoneVideoPort" + n + "Text", 155, t, 62, 0, "Video Port " + n});
        places.push_back({"DoorPhoneUserName" + n + "Text", 224, t, 103, 0, "User Name " + n});
        places.push_back({"DoorPhonePassword" + n + "Text", 333, t, 103, 0, "Password " + n});
        if (r > 0) places.push_back({"CheckBox" + n, 9, t + 2, 24, 17, "Door phone " + n + " enabled"});
    }
    const std::vector<Place> rest = {
        {"RadioGroup1", 8, 184, 141, 128, "Phone connection"},
        {"PopUpCall", 177, 187, -1, 0, "Pop-Up upon call"},
        {"PopUpAlways", 177, 207, -1, 0, "Pop-Up always"},
        {"SaveToAVI", 177, 227, -1, 0, "Save call to Record dir as AVI:"},
        {"AVIDirectory", 177, 248, 309, 0, "Record dir"},
        {"SaveToJPG", 177, 276, -1, 0, "Save call to Snapshot dir as JPG:"},
        {"JPGDirectory", 177, 295, 309, 0, "Snapshot dir"},
        {"SipServerAdressText", 8, 335, 119, 0, "SIP server adress:"},
        {"SipProxyAdressText", 132, 336, 119, 0, "SIP proxy adress:"},
        {"CallPrefixText", 257, 337, 119, 0, "Call prefix:"},
        {"MyIdentityText", 8, 381, 119, 0, "My identity:"},
        {"MyPasswordText", 133, 381, 119, 0, "My password:"},
        {"AuthIDText", 258, 381, 119, 0, "Auth. ID:"},
        {"LangFlagsCombo1", 8, 412, 65, 22, "Language"},
        {"Button1", 94, 410, 118, 25, "Send LOG file"},
        {"Button2", 232, 410, 118, 25, "Save"},
        {"Button3", 368, 410, 118, 25, "Cancel"},
    };
    places.insert(places.end(), rest.begin(), rest.end());
    std::set<std::string> accessibleNames;
    for (const Place& p : places) {
        auto* w = form->findChild<QWidget*>(QString::fromStdString(p.name));
        ASSERT_TRUE(w) << p.name;
        EXPECT_EQ(w->x(), p.x) << p.name;
        EXPECT_EQ(w->y(), p.y) << p.name;
        if (p.w > 0) {
            EXPECT_EQ(w->width(), p.w) << p.name;
        }
        if (p.h > 0) {
            EXPECT_EQ(w->height(), p.h) << p.name;
        }
        EXPECT_LE(w->geometry().right(), 498) << p.name;
        EXPECT_EQ(w->accessibleName().toStdString(), p.accessible) << p.name;
        EXPECT_TRUE(accessibleNames.insert(p.accessible).second) << "twice: " << p.accessible;
    }

    struct Label {
        const char* name;
        int x, y;
        const char* text;
    } labels[] = {
        {"Label9", 30, 8, "DoorPhone IP1:"},      {"Label10", 155, 8, "Video Port:"},
        {"Label13", 224, 8, "User Name:"},        {"Label14", 333, 8, "Password:"},
        {"Label5", 30, 54, "DoorPhone IP2:"},     {"Label8", 155, 54, "Video Port:"},
        {"Label15", 224, 54, "User Name:"},       {"Label16", 333, 54, "Password:"},
        {"Label6", 30, 96, "DoorPhone IP3:"},     {"Label11", 155, 96, "Video Port:"},
        {"Label17", 224, 96, "User Name:"},       {"Label18", 333, 96, "Password:"},
        {"Label7", 30, 138, "DoorPhone IP4:"},    {"Label12", 155, 138, " Video Port:"},
        {"Label19", 224, 138, "User Name:"},      {"Label20", 333, 138, "Password:"},
        {"Label1", 8, 318, "SIP server adress:"}, {"Label4", 132, 318, "SIP proxy adress:"},
        {"Label22", 257, 318, "Call prefix:"},    {"Label2", 8, 362, "My identity:"},
        {"Label3", 133, 362, "My password:"},     {"Label21", 258, 362, "Auth. ID:"},
    };
    for (const Label& l : labels) {
        auto* w = form->findChild<QLabel*>(l.name);
        ASSERT_TRUE(w) << l.name;
        EXPECT_EQ(w->pos(), QPoint(l.x, l.y)) << l.name;
        EXPECT_EQ(w->text().toStdString(), l.text) << l.name;
    }
    EXPECT_EQ(form->RadioGroup1->title(), " Phone connection ");
    EXPECT_EQ(form->RadioGroup1->Item(0)->text(), "Peer-To-Peer");
    EXPECT_EQ(form->RadioGroup1->Item(1)->text(), "SIP server");
    // The flag chooser lists the built-in languages, then the language
    // manager's entries, and shows the current language.
    EXPECT_EQ(form->LangFlagsCombo1->count(), 5);
    EXPECT_EQ(form->LangFlagsCombo1->itemText(3), "> Add <");
    EXPECT_EQ(form->LangFlagsCombo1->itemText(4), "> Edit <");
    EXPECT_EQ(form->LangFlagsCombo1->currentText(), "EN");
    // Timer1 brings the configured language about a second after creation.
    auto* timer = form->findChild<QTimer*>("Timer1");
    ASSERT_TRUE(timer);
    EXPECT_EQ(timer->interval(), 1000);
    EXPECT_TRUE(timer->isActive());
}

TEST_F(SettingsForm, ShowingFocusesCancelWhichIsTheDefaultButton) {
    makeForm();
    showForm();
    EXPECT_EQ(form->focusWidget(), form->Button3);
    EXPECT_TRUE(form->Button3->isDefault());
}

TEST_F(SettingsForm, DoorPhonesAreEnabledInSequence) {
    struct Case {
        std::vector<std::string> clicks;
        const char* checked; // CheckBox2..4
        const char* boxEnabled;
        const char* rowEnabled; // rows 2..4
    } cases[] = {
        {{}, "000", "100", "000"},
        {{"CheckBox3"}, "000", "100", "000"}, // a disabled box takes no click
        {{"CheckBox2"}, "100", "110", "100"},
        {{"CheckBox2", "CheckBox3", "CheckBox4"}, "111", "111", "111"},
        {{"CheckBox2", "CheckBox3", "CheckBox4", "CheckBox3"}, "100", "110", "100"},
        {{"CheckBox2", "CheckBox3", "CheckBox4", "CheckBox2"},
         "000",
         "100",
         "000"}, // one click clears 3 and 4
    };
    for (const Case& c : cases) {
        makeForm();
        showForm();
        std::string what;
        for (const std::string& name : c.clicks) {
            clickName(name);
            what += name + " ";
        }
        for (int n = 2; n <= 4; ++n) {
            const std::string k = std::to_string(n);
            const size_t i = static_cast<size_t>(n - 2);
            EXPECT_EQ(box("CheckBox" + k)->isChecked(), c.checked[i] == '1') << what << "CheckBox" << k;
            EXPECT_EQ(box("CheckBox" + k)->isEnabled(), c.boxEnabled[i] == '1') << what << "CheckBox" << k;
            for (const char* stem : DoorPhoneStems)
                EXPECT_EQ(edit(stem + k + "Text")->isEnabled(), c.rowEnabled[i] == '1') << what << stem << k;
        }
        for (const char* stem : DoorPhoneStems)
            EXPECT_TRUE(edit(std::string(stem) + "1Text")->isEnabled()) << what;
    }
}

TEST_F(SettingsForm, PeerToPeerDisablesTheSipFieldsAndPopUpAlwaysDisablesPopUpCall) {
    makeForm();
    showForm();
    for (const char* name : SipEdits)
        EXPECT_FALSE(edit(name)->isEnabled()) << name;
    clickName("SIP server");
    EXPECT_EQ(form->RadioGroup1->ItemIndex(), 1);
    for (const char* name : SipEdits)
        EXPECT_TRUE(edit(name)->isEnabled()) << name;
    type(edit("MyIdentityText"), "202");
    clickName("Peer-To-Peer");
    EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);
    for (const char* name : SipEdits)
        EXPECT_FALSE(edit(name)->isEnabled()) << name;
    EXPECT_EQ(edit("MyIdentityText")->text(), "202") << "a disabled field keeps its value";

    clickName("PopUpCall");
    clickName("PopUpAlways");
    EXPECT_FALSE(form->PopUpCall->isEnabled());
    EXPECT_TRUE(form->PopUpCall->isChecked()) << "the check mark stays";
    clickName("PopUpAlways");
    EXPECT_TRUE(form->PopUpCall->isEnabled());
}

TEST_F(SettingsForm, LoadedValuesObeyTheSameRules) {
    struct Case {
        const char* lines;
        const char* checked;    // CheckBox2..4
        const char* boxEnabled; // CheckBox3, CheckBox4
        int itemIndex;
        bool sipEnabled;
        bool popUpCallEnabled;
    } cases[] = {
        {"CheckBox2=0\r\nCheckBox3=1\r\n", "000", "00", 0, false, true},
        {"CheckBox2=1\r\nCheckBox3=0\r\nCheckBox4=1\r\n", "100", "10", 0, false, true},
        {"CheckBox2=1\r\nCheckBox3=1\r\nCheckBox4=1\r\n", "111", "11", 0, false, true},
        // No choice changes nothing: the SIP fields stay as they were made, enabled.
        {"PhoneConnection=-1\r\n", "000", "00", -1, true, true},
        {"PhoneConnection=2\r\n", "000", "00", 1, true, true},
        {"PopUpAlways=1\r\nPopUp=1\r\n", "000", "00", 0, false, false},
    };
    for (const Case& c : cases) {
        writeIni(dir, c.lines);
        makeForm();
        showForm();
        const std::string what = c.lines;
        for (int n = 2; n <= 4; ++n) {
            const std::string k = std::to_string(n);
            EXPECT_EQ(box("CheckBox" + k)->isChecked(), c.checked[n - 2] == '1') << what << n;
            EXPECT_EQ(live->Checked("CheckBox" + k), c.checked[n - 2] == '1') << what << n;
            if (n > 2) {
                EXPECT_EQ(box("CheckBox" + k)->isEnabled(), c.boxEnabled[n - 3] == '1') << what << n;
            }
            EXPECT_EQ(edit("DoorPhoneIP" + k + "Text")->isEnabled(), c.checked[n - 2] == '1') << what << n;
        }
        EXPECT_EQ(form->RadioGroup1->ItemIndex(), c.itemIndex) << what;
        EXPECT_EQ(form->RadioGroup1->Item(0)->isChecked(), c.itemIndex == 0) << what;
        EXPECT_EQ(form->RadioGroup1->Item(1)->isChecked(), c.itemIndex == 1) << what;
        for (const char* name : SipEdits)
            EXPECT_EQ(edit(name)->isEnabled(), c.sipEnabled) << what << name;
        EXPECT_EQ(edit("SipServerAdressText")->text(), "127.0.0.1") << what;
        EXPECT_EQ(form->PopUpCall->isEnabled(), c.popUpCallEnabled) << what;
    }
}

TEST_F(SettingsForm, EveryWayOfCancellingRestoresTheShownValuesAndWritesNothing) {
    const char* const ways[] = {"Cancel button", "Escape", "close control", "Enter in an edit"};
    for (const char* way : ways) {
        writeIni(dir, "CheckBox2=1\r\n");
        makeForm();
        const std::string before = ini();
        const std::string liveBefore = dump(*live);
        showForm();
        const std::string shown = dump(form->RSettings());
        type(edit("DoorPhoneIP1Text"), "127.0.0.9");
        type(edit("DoorPhoneVideoPort2Text"), "8099");
        clickName("CheckBox3");
        clickName("SIP server");
        type(edit("MyIdentityText"), "303");
        clickName("SaveToJPG");
        type(edit("JPGDirectory"), QString::fromStdString(dir + "/other"));

        const std::string w = way;
        if (w == "Cancel button") click(form->Button3);
        if (w == "Escape") QTest::keyClick(form.get(), Qt::Key_Escape);
        if (w == "close control") form->close();
        if (w == "Enter in an edit") QTest::keyClick(edit("DoorPhoneIP1Text"), Qt::Key_Return);

        EXPECT_FALSE(form->isVisible()) << way;
        EXPECT_EQ(form->result(), QDialog::Rejected) << way;
        EXPECT_EQ(edit("DoorPhoneIP1Text")->text(), "127.0.0.1") << way;
        EXPECT_EQ(edit("DoorPhoneVideoPort2Text")->text(), "80") << way;
        EXPECT_FALSE(box("CheckBox3")->isChecked()) << way;
        EXPECT_FALSE(box("CheckBox4")->isEnabled()) << way;
        EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0) << way;
        EXPECT_FALSE(edit("MyIdentityText")->isEnabled()) << way;
        EXPECT_EQ(edit("MyIdentityText")->text(), "101") << way;
        EXPECT_FALSE(form->SaveToJPG->isChecked()) << way;
        EXPECT_EQ(edit("JPGDirectory")->text().toStdString(), dir + "/snap") << way;
        EXPECT_EQ(ini(), before) << way;
        EXPECT_EQ(dump(*live), liveBefore) << way;
        EXPECT_EQ(shown, liveBefore) << way;
        EXPECT_TRUE(messages.empty()) << way;
    }
}

TEST_F(SettingsForm, ExecReturnsRejectedOnEscape) {
    makeForm();
    QTimer::singleShot(0, form.get(), [this] {
        type(edit("DoorPhoneIP1Text"), "127.0.0.7");
        QTest::keyClick(form.get(), Qt::Key_Escape);
    });
    EXPECT_EQ(form->exec(), QDialog::Rejected);
    EXPECT_EQ(edit("DoorPhoneIP1Text")->text(), "127.0.0.1");
}

TEST_F(SettingsForm, SaveWritesTheEditsCommitsThemAndTheNextCancelReturnsToThem) {
    makeForm();
    showForm();
    type(edit("DoorPhoneIP1Text"), "localhost");
    type(edit("DoorPhoneVideoPort1Text"), "8090");
    clickName("CheckBox2");
    type(edit("DoorPhoneIP2Text"), "127.0.0.9");
    type(edit("DoorPhoneUserName2Text"), "admin");
    type(edit("DoorPhonePassword2Text"), "two words");
    clickName("SIP server");
    type(edit("MyIdentityText"), "201");
    type(edit("CallPrefixText"), "0");
    clickName("PopUpAlways");
    clickName("SaveToAVI");
    type(edit("AVIDirectory"), "x");
    QTest::keyClick(edit("AVIDirectory"), Qt::Key_Backspace); // emptied: the default folder follows
    click(form->Button2);

    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    IniProfile file;
    ASSERT_TRUE(file.loadFile(iniFile()));
    const std::string record = std::string(std::getenv("HOME")) + "/Documents/VELNORA Manager/Record";
    const std::pair<const char*, std::string> expected[] = {
        {"RemoteDoorPhoneIP1", "localhost"},
        {"RemoteDoorVideoPort1", "8090"},
        {"CheckBox2", "1"},
        {"RemoteDoorPhoneIP2", "127.0.0.9"},
        {"RemoteDoorPhoneUserName2", "admin"},
        {"RemoteDoorPhonePassword2", "two words"},
        {"RemoteDoorVideoPort4", "80"},
        {"PhoneConnection", "1"},
        {"MyIdentity", "201"},
        {"CallPrefix", "0"},
        {"MyPassword", "secret"},
        {"PopUpAlways", "1"},
        {"SaveToAVI", "1"},
        {"AVIDirectory", record},
        {"Language", "EN"},
    };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(file.readString("global", key, "<missing>"), value) << key;
    struct stat st {};
    EXPECT_EQ(::stat(record.c_str(), &st), 0);
    EXPECT_EQ(live->Text("DoorPhoneIP1Text"), "localhost");
    EXPECT_TRUE(live->Checked("CheckBox2"));
    EXPECT_EQ(live->ItemIndex(), 1);
    EXPECT_EQ(live->Text("AVIDirectory"), record);
    EXPECT_EQ(edit("AVIDirectory")->text().toStdString(), record);

    // The next showing starts from the saved values, and its Cancel returns to them.
    const std::string saved = ini();
    showForm();
    type(edit("DoorPhoneIP2Text"), "127.0.0.10");
    clickName("CheckBox2");
    click(form->Button3);
    EXPECT_EQ(edit("DoorPhoneIP2Text")->text(), "127.0.0.9");
    EXPECT_TRUE(box("CheckBox2")->isChecked());
    EXPECT_EQ(form->RadioGroup1->ItemIndex(), 1);
    EXPECT_TRUE(edit("MyIdentityText")->isEnabled());
    EXPECT_EQ(ini(), saved);
}

TEST_F(SettingsForm, APickedLanguageSurvivesCancelAndIsStoredByTheNextSave) {
    makeForm();
    showForm();
    TLingoEngine& engine = *DataModule1().LingoEngine1;
    // The user's pick in the flag chooser switches at once.
    const int slovak = form->LangFlagsCombo1->findText("Slovenčina");
    ASSERT_GE(slovak, 1);
    form->LangFlagsCombo1->setCurrentIndex(slovak);
    emit form->LangFlagsCombo1->activated(slovak);
    ASSERT_EQ(engine.CurrentLanguage(), "Slovenčina");
    type(edit("DoorPhoneIP1Text"), "127.0.0.8");
    const std::string before = ini();
    click(form->Button3);
    EXPECT_EQ(edit("DoorPhoneIP1Text")->text(), "127.0.0.1");
    EXPECT_EQ(engine.CurrentLanguage(), "Slovenčina");
    EXPECT_EQ(form->LangFlagsCombo1->currentText(), "Slovenčina");
    EXPECT_EQ(ini(), before);

    showForm();
    EXPECT_EQ(form->LangFlagsCombo1->currentText(), "Slovenčina");
    click(form->Button2);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    IniProfile file;
    ASSERT_TRUE(file.loadFile(iniFile()));
    EXPECT_EQ(file.readString("global", "Language", ""), "Slovenčina");
    EXPECT_EQ(file.readString("global", "RemoteDoorPhoneIP1", ""), "127.0.0.1");
    EXPECT_EQ(live->Text("Language"), "Slovenčina");
    engine.Translate("EN");
}

TEST_F(SettingsForm, RefusedValuesNameTheFieldWriteNothingAndKeepTheDialogOpen) {
    struct Case {
        const char* control;
        std::string value;
        std::vector<std::string> first; // clicks before the value is entered
        const char* field;
    } cases[] = {
        {"DoorPhoneVideoPort1Text", "-1", {}, "\"Video Port 1\""},
        {"DoorPhoneVideoPort1Text", "$50", {}, "\"Video Port 1\""},
        {"DoorPhoneVideoPort1Text", "70000", {}, "\"Video Port 1\""},
        {"DoorPhoneVideoPort1Text", "0", {}, "\"Video Port 1\""},
        {"DoorPhoneIP1Text", "192.168.1.300", {}, "\"DoorPhone IP1\""},
        {"DoorPhoneIP1Text", "", {}, "\"DoorPhone IP1\""},
        {"DoorPhoneIP2Text", "1.2.3", {"CheckBox2"}, "\"DoorPhone IP2\""},
        {"DoorPhoneVideoPort3Text", "8O", {"CheckBox2", "CheckBox3"}, "\"Video Port 3\""},
        {"DoorPhoneUserName1Text", "admin ", {}, "\"User Name 1\""},
        {"DoorPhonePassword1Text", "a\nb", {}, "\"Password 1\""},
        {"AuthIDText", std::string("x\0y", 3), {}, "\"Auth. ID\""}, // disabled, but written all the same
        {"MyIdentityText", "10 1", {"SIP server"}, "\"My identity\""},
        {"MyPasswordText", "se cret", {"SIP server"}, "\"My password\""},
        {"SipServerAdressText", "pbx host", {"SIP server"}, "\"SIP server adress\""},
        {"SipProxyAdressText", "", {"SIP server"}, "\"SIP proxy adress\""},
        {"AVIDirectory", "@/file/rec", {"SaveToAVI"}, "\"Record dir\""},
        {"JPGDirectory", "@/file", {"SaveToJPG"}, "\"Snapshot dir\""},
    };
    for (const Case& c : cases) {
        makeForm();
        const std::string before = ini();
        const std::string liveBefore = dump(*live);
        messages.clear();
        showForm();
        for (const std::string& name : c.first)
            clickName(name);
        QString value = QString::fromUtf8(c.value.data(), static_cast<qsizetype>(c.value.size()));
        if (value.startsWith('@')) value = QString::fromStdString(dir) + value.mid(1);
        QLineEdit* e = edit(c.control);
        const bool typable = !value.contains('\n') && !value.contains(QChar(0)) && e->isEnabled();
        if (typable) {
            type(e, value);
        } else {
            e->setText(value); // pasted or set by code
            ASSERT_EQ(e->text(), value) << c.control;
        }
        const std::string what = std::string(c.control) + "=\"" + c.value + "\"";
        click(form->Button2);

        ASSERT_EQ(messages.size(), 1u) << what;
        EXPECT_NE(messages[0].find(c.field), std::string::npos) << what << ": " << messages[0];
        EXPECT_TRUE(form->isVisible()) << what;
        EXPECT_NE(form->result(), QDialog::Accepted) << what;
        EXPECT_EQ(e->text(), value) << what;
        if (e->isEnabled()) {
            EXPECT_EQ(form->focusWidget(), e) << what;
        }
        EXPECT_EQ(ini(), before) << what;
        EXPECT_EQ(dump(*live), liveBefore) << what;
        form->reject();
    }
}

TEST_F(SettingsForm, AFailedSaveSaysWhyKeepsTheOldFileAndTheDialogWithTheEdits) {
    struct Case {
        const char* fixture;
        const char* reason;
    } cases[] = {
        {"the new file's place is taken by a folder", "Is a directory"},
        {"the settings file is a folder", "Is a directory"},
        {"the data folder's parent is a file", "Not a directory"},
        {"the settings file is read-only", "Permission denied"}, // root writes anyway: only as a user
    };
    for (const Case& c : cases) {
        const std::string f = c.fixture;
        std::string folder = testenv::makeTempDir("fail");
        if (f == "the new file's place is taken by a folder") {
            writeIni(folder, "");
            ASSERT_EQ(::mkdir((folder + "/VELNORA_Manager.ini.tmp").c_str(), 0700), 0);
        } else if (f == "the settings file is a folder") {
            ASSERT_EQ(::mkdir((folder + "/VELNORA_Manager.ini").c_str(), 0700), 0);
        } else if (f == "the data folder's parent is a file") {
            folder = dir + "/file/data";
        } else {
            if (::geteuid() == 0) continue;
            writeIni(folder, "");
            ASSERT_EQ(::chmod((folder + "/VELNORA_Manager.ini").c_str(), 0400), 0);
        }
        makeForm(folder);
        struct stat st {};
        const bool hadFile = ::stat(iniFile().c_str(), &st) == 0 && S_ISREG(st.st_mode);
        const std::string before = hadFile ? ini() : std::string();
        const std::string liveBefore = dump(*live);
        messages.clear();
        logLines.clear();
        showForm();
        type(edit("DoorPhoneIP1Text"), "127.0.0.5");
        click(form->Button2);

        ASSERT_EQ(messages.size(), 1u) << f;
        EXPECT_NE(messages[0].find(iniFile()), std::string::npos) << f << ": " << messages[0];
        EXPECT_NE(messages[0].find(c.reason), std::string::npos) << f << ": " << messages[0];
        ASSERT_EQ(logLines.size(), 1u) << f;
        EXPECT_NE(logLines[0].find(iniFile()), std::string::npos) << logLines[0];
        EXPECT_NE(logLines[0].find(c.reason), std::string::npos) << logLines[0];
        EXPECT_TRUE(form->isVisible()) << f;
        EXPECT_NE(form->result(), QDialog::Accepted) << f;
        EXPECT_EQ(edit("DoorPhoneIP1Text")->text(), "127.0.0.5") << f;
        EXPECT_EQ(dump(*live), liveBefore) << f;
        if (hadFile) {
            EXPECT_EQ(ini(), before) << f;
        }
        if (f == "the settings file is a folder") {
            ASSERT_EQ(::stat(iniFile().c_str(), &st), 0);
            EXPECT_TRUE(S_ISDIR(st.st_mode));
        }
        form->reject();
    }
}

TEST_F(SettingsForm, SendLogFileAsksTheOwnerAndTheDialogStaysOpen) {
    makeForm();
    showForm();
    click(form->Button1);
    EXPECT_EQ(sendLogCalls, 1);
    EXPECT_TRUE(form->isVisible());
    form->OnSendLog = nullptr;
    click(form->Button1); // nobody to ask: nothing happens
    EXPECT_TRUE(form->isVisible());
}
