#include "app/SettingsStore.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

std::string iniFile(const std::string& dir) {
    return dir + "/VELNORA_Manager.ini";
}

} // namespace

TEST(SettingsStore, FirstStartGivesTheDefaultsAndCreatesTheFolders) {
    const std::string dir = testenv::makeTempDir();
    TSettingsStore s(dir);
    s.Load();
    EXPECT_EQ(s.Text("DoorPhoneIP1Text"), "192.168.1.250");
    EXPECT_EQ(s.Text("DoorPhoneVideoPort1Text"), "80");
    EXPECT_EQ(s.Text("DoorPhoneUserName1Text"), "");
    EXPECT_EQ(s.Text("DoorPhoneIP4Text"), "192.168.1.253");
    EXPECT_FALSE(s.Checked("CheckBox2"));
    EXPECT_FALSE(s.Checked("CheckBox3"));
    EXPECT_FALSE(s.Checked("CheckBox4"));
    EXPECT_EQ(s.ItemIndex(), 0);
    EXPECT_EQ(s.Text("Language"), "EN");
    EXPECT_EQ(s.Text("MyPasswordText"), "7wrtzm3");
    EXPECT_FALSE(s.Checked("PopUpCall"));
    EXPECT_FALSE(s.Checked("SaveToAVI"));
    const std::string docs = std::string(std::getenv("HOME")) + "/Documents/VELNORA Manager";
    EXPECT_EQ(s.Text("AVIDirectory"), docs + "/Record");
    EXPECT_EQ(s.Text("JPGDirectory"), docs + "/Snapshot");
    struct stat st {};
    EXPECT_EQ(::stat((docs + "/Record").c_str(), &st), 0);
    EXPECT_EQ(::stat((docs + "/Snapshot").c_str(), &st), 0);
}

TEST(SettingsStore, EdgeCasesOfReading) {
    struct Case {
        const char* line;
        const char* control;
        std::string text; // expected text, or
        int boolOrIndex;  // expected check state / choice when text is "#"
    } cases[] = {
        {"RemoteDoorVideoPort1=8O", "DoorPhoneVideoPort1Text", "8O", 0}, // a letter O is kept as typed
        {"PhoneConnection=2", "RadioGroup1", "#", 1},
        {"PhoneConnection=-1", "RadioGroup1", "#", -1},
        {"PhoneConnection=abc", "RadioGroup1", "#", 0},
        {"PopUp=yes", "PopUpCall", "#", 0},
        {"PopUp=2", "PopUpCall", "#", 1},
        {"CheckBox2= 1 ", "CheckBox2", "#", 1},
        {"RemoteDoorPhoneIP1=", "DoorPhoneIP1Text", "", 0}, // empty value is empty, not the default
        {"callprefix=  9 ", "CallPrefixText", "9", 0},
        {"CheckBox3=1", "CheckBox3", "#", 0}, // door phone 3 only with door phone 2
    };
    for (const auto& c : cases) {
        const std::string dir = testenv::makeTempDir();
        testenv::writeFile(iniFile(dir), std::string("[global]\r\n") + c.line + "\r\n");
        TSettingsStore s(dir);
        s.Load();
        if (c.text == "#") {
            int got =
                std::string(c.control) == "RadioGroup1" ? s.ItemIndex() : (s.Checked(c.control) ? 1 : 0);
            EXPECT_EQ(got, c.boolOrIndex) << c.line;
        } else {
            EXPECT_EQ(s.Text(c.control), c.text) << c.line;
        }
    }
}

TEST(SettingsStore, UnreadableOrMalformedFileGivesDefaults) {
    const std::string dir = testenv::makeTempDir();
    testenv::writeFile(iniFile(dir), std::string("\x00\xff[glo\nbal]=\n==\n[global\nRemoteDoorPhoneIP1", 34));
    TSettingsStore s(dir);
    s.Load();
    EXPECT_EQ(s.Text("DoorPhoneIP1Text"), "192.168.1.250");
    const std::string dir2 = testenv::makeTempDir();
    ::mkdir(iniFile(dir2).c_str(), 0700); // a folder where the file should be
    TSettingsStore s2(dir2);
    s2.Load();
    EXPECT_EQ(s2.Text("DoorPhoneVideoPort1Text"), "80");
}

TEST(SettingsStore, SaveWritesEveryKeyInOrderAndKeepsAPortThatIsNotANumber) {
    const std::string dir = testenv::makeTempDir();
    testenv::writeFile(iniFile(dir),
                       "[keep]\r\nthis=1\r\n[global]\r\nRemoteDoorVideoPort2=8080\r\nUnknown=x\r\n");
    TSettingsStore s(dir);
    s.Load();
    s.SetText("DoorPhoneVideoPort2Text", "8O8O");
    s.SetText("DoorPhoneVideoPort1Text", "$50");
    s.SetText("AVIDirectory", "");
    s.SetItemIndex(1);
    s.SetChecked("CheckBox3", true);
    ASSERT_TRUE(s.Save("CZ"));
    IniProfile ini;
    ASSERT_TRUE(ini.loadFile(iniFile(dir)));
    EXPECT_EQ(ini.readString("global", "RemoteDoorVideoPort2", ""), "8080") << "the previous port stays";
    EXPECT_EQ(ini.readString("global", "RemoteDoorVideoPort1", ""), "$50");
    EXPECT_EQ(ini.readString("global", "PhoneConnection", ""), "1");
    EXPECT_EQ(ini.readString("global", "CheckBox3", ""), "1");
    EXPECT_EQ(ini.readString("global", "Language", ""), "CZ");
    EXPECT_FALSE(ini.readString("global", "AVIDirectory", "").empty());
    EXPECT_EQ(ini.readString("keep", "this", ""), "1");
    EXPECT_EQ(ini.readString("global", "Unknown", ""), "x");

    // Keys follow the table's order (those added after the ones already present).
    const std::string text = ini.text();
    size_t last = 0;
    for (const auto& k : TSettingsStore::Keys()) {
        if (std::string(k.key) == "RemoteDoorVideoPort2") continue; // was in the file before
        size_t pos = text.find("\r\n" + std::string(k.key) + "=");
        ASSERT_NE(pos, std::string::npos) << k.key;
        EXPECT_GT(pos, last) << k.key;
        last = pos;
    }
    struct stat st {};
    ASSERT_EQ(::stat(iniFile(dir).c_str(), &st), 0);
}

TEST(SettingsStore, NewFileIsPrivateAndAFailedSaveLeavesTheOldFile) {
    const std::string dir = testenv::makeTempDir();
    TSettingsStore s(dir);
    s.Load();
    ASSERT_TRUE(s.Save("EN"));
    struct stat st {};
    ASSERT_EQ(::stat(iniFile(dir).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TSettingsStore missing(dir + "/no-such-folder");
    missing.Load();
    EXPECT_FALSE(missing.Save("EN"));
    std::string why;
    EXPECT_FALSE(missing.Save("EN", &why));
    EXPECT_EQ(why, "No such file or directory");
}
