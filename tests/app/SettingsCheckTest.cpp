// The checks Save makes before anything is written.
#include "app/SettingsCheck.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A configuration as the dialog would hand it over: loopback door phones, peer-to-peer.
TSettingsStore loopbackSettings() {
    TSettingsStore s(testenv::makeTempDir("ini"));
    for (int n = 1; n <= 4; ++n)
        s.SetText("DoorPhoneIP" + std::to_string(n) + "Text", "127.0.0." + std::to_string(n));
    s.SetText("SipServerAdressText", "127.0.0.1");
    s.SetText("SipProxyAdressText", "127.0.0.1");
    return s;
}

} // namespace

TEST(SettingsCheck, AddressesAndPorts) {
    struct Case {
        const char* text;
        bool port, ipv4, host;
    } cases[] = {
        {"80", true, false, false}, // all digits: neither an address nor a name
        {"1", true, false, false},
        {"65535", true, false, false},
        {"65536", false, false, false},
        {"70000", false, false, false},
        {"0", false, false, false},
        {"-1", false, false, false},
        {"+80", false, false, false},
        {"$50", false, false, false},
        {"0x50", false, false, true},
        {"8O", false, false, true},
        {"", false, false, false},
        {" 80", false, false, false},
        {"127.0.0.1", false, true, true},
        {"192.168.1.250", false, true, true},
        {"255.255.255.255", false, true, true},
        {"192.168.1.256", false, false, false},
        {"192.168.1", false, false, false},
        {"1.2.3.4.5", false, false, false},
        {"192.168.001.5", false, false, false}, // read as octal by some resolvers
        {"192.168.1.", false, false, false},
        {"localhost", false, false, true},
        {"door-1.example.org", false, false, true},
        {"-door.example", false, false, false},
        {"door-.example", false, false, false},
        {"door..example", false, false, false},
        {"door_1", false, false, false},
        {"door 1", false, false, false},
        {"http://door", false, false, false},
        {"door:80", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsPortNumber(c.text), c.port) << '"' << c.text << '"';
        EXPECT_EQ(IsIPv4Address(c.text), c.ipv4) << '"' << c.text << '"';
        const bool host = c.host || c.ipv4;
        EXPECT_EQ(IsHostName(c.text), host) << '"' << c.text << '"';
    }
    EXPECT_TRUE(IsHostName(std::string(63, 'a') + ".b"));
    EXPECT_FALSE(IsHostName(std::string(64, 'a') + ".b"));
    EXPECT_FALSE(IsHostName(std::string(127, 'a') + "." + std::string(126, 'b')));
}

TEST(SettingsCheck, RefusesWhatTheFileOrTheDevicesWouldMisread) {
    struct Case {
        const char* control;
        std::string value;
        const char* enable; // a box to check first, or ""
        int itemIndex;      // RadioGroup1
        const char* field;  // expected in the message; nullptr: accepted
    } cases[] = {
        // Door phone 1 is always in use; 2 to 4 only when enabled.
        {"DoorPhoneVideoPort1Text", "-1", "", 0, "\"Video Port 1\""},
        {"DoorPhoneVideoPort1Text", "$50", "", 0, "\"Video Port 1\""},
        {"DoorPhoneVideoPort1Text", "70000", "", 0, "\"Video Port 1\""},
        {"DoorPhoneVideoPort1Text", "8080", "", 0, nullptr},
        {"DoorPhoneIP1Text", "", "", 0, "\"DoorPhone IP1\""},
        {"DoorPhoneIP1Text", "192.168.1.300", "", 0, "\"DoorPhone IP1\""},
        {"DoorPhoneIP2Text", "1.2.3", "", 0, nullptr},
        {"DoorPhoneIP2Text", "1.2.3", "CheckBox2", 0, "\"DoorPhone IP2\""},
        {"DoorPhoneVideoPort2Text", "8O", "", 0,
         nullptr}, // kept in the store, not written (the file keeps its port)
        {"DoorPhoneVideoPort2Text", "8O", "CheckBox2", 0, "\"Video Port 2\""},
        // Anything written must survive the file, in use or not.
        {"DoorPhonePassword4Text", "pa\nss", "", 0, "\"Password 4\""},
        {"DoorPhoneUserName3Text", std::string("us\0er", 6), "", 0, "\"User Name 3\""},
        {"AuthIDText", "id\r", "", 0, "\"Auth. ID\""},
        {"AuthIDText", "id\tx", "", 0, "\"Auth. ID\""},
        {"CallPrefixText", "\xC2\x85", "", 0, "\"Call prefix\""}, // NEXT LINE, a C1 control
        {"DoorPhoneUserName1Text", "admin ", "", 0, "\"User Name 1\""},
        {"DoorPhonePassword1Text", " secret", "", 0, "\"Password 1\""},
        {"DoorPhonePassword1Text", "se cret", "", 0, nullptr},
        {"DoorPhoneUserName1Text", "Jiří", "", 0, nullptr},
        {"AVIDirectory", "/rec\n[global]", "", 0, "\"Record dir\""},
        {"Language", "E\nN", "", 0, "\"Language\""},
        // The register command takes blank-separated values; they matter in SIP-server mode only.
        {"MyIdentityText", "10 1", "", 0, nullptr},
        {"MyIdentityText", "10 1", "", 1, "\"My identity\""},
        {"MyIdentityText", "", "", 1, "\"My identity\""},
        {"MyPasswordText", "7wr tzm3", "", 1, "\"My password\""},
        {"MyPasswordText", "", "", 1, nullptr},
        {"CallPrefixText", "0 0", "", 1, "\"Call prefix\""},
        {"SipServerAdressText", "", "", 1, "\"SIP server adress\""},
        {"SipServerAdressText", "", "", 0, nullptr},
        {"SipProxyAdressText", "pbx host", "", 1, "\"SIP proxy adress\""},
        {"SipProxyAdressText", "pbx.local", "", 1, nullptr},
        {"AuthIDText", "a b", "", 1, nullptr},
    };
    for (const auto& c : cases) {
        TSettingsStore s = loopbackSettings();
        s.SetText(c.control, c.value);
        if (*c.enable) s.SetChecked(c.enable, true);
        s.SetItemIndex(c.itemIndex);
        const auto p = CheckSettings(s);
        const std::string what = std::string(c.control) + "=\"" + c.value + "\"";
        if (!c.field) {
            EXPECT_FALSE(p) << what << ": " << (p ? p->message : "");
            continue;
        }
        ASSERT_TRUE(p) << what;
        EXPECT_EQ(p->control, c.control) << what;
        EXPECT_NE(p->message.find(c.field), std::string::npos) << what << ": " << p->message;
    }
}

TEST(SettingsCheck, TheFirstProblemInTheDialogsOrderIsReported) {
    TSettingsStore s = loopbackSettings();
    s.SetText("JPGDirectory", "x\n");
    s.SetText("DoorPhoneVideoPort1Text", "0");
    const auto p = CheckSettings(s);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->control, "DoorPhoneVideoPort1Text");
    EXPECT_FALSE(CheckSettings(loopbackSettings())) << "the defaults with loopback addresses pass";
}

TEST(SettingsCheck, FoldersInUseMustBeWritableFolders) {
    const std::string dir = testenv::makeTempDir("folders");
    testenv::writeFile(dir + "/file", "x");
    const std::string docs = std::string(std::getenv("HOME")) + "/Documents/VELNORA Manager";
    struct Case {
        const char* value;
        bool inUse;
        const char* expected; // a part of the message, or nullptr: accepted
        std::string after;    // the folder value afterwards
    } cases[] = {
        {"", false, nullptr, docs + "/Record"}, // the default folder, created
        {"", true, nullptr, docs + "/Record"},
        {"/new/a/b", false, nullptr, "/new/a/b"},      // not in use: taken as typed, nothing created
        {"@/made/here", true, nullptr, "@/made/here"}, // created with its parents
        {"@/file/sub", true, "cannot be created: Not a directory", ""},
        {"@/file", true, "is a file, not a folder", ""},
        {"relative/rec", true, "full folder path", ""},
    };
    for (auto& c : cases) {
        std::string value = c.value, after = c.after;
        if (value.rfind('@', 0) == 0) value = dir + value.substr(1);
        if (after.rfind('@', 0) == 0) after = dir + after.substr(1);
        TSettingsStore s = loopbackSettings();
        s.SetText("AVIDirectory", value);
        s.SetChecked("SaveToAVI", c.inUse);
        const auto p = PrepareFolders(s);
        if (!c.expected) {
            EXPECT_FALSE(p) << value << ": " << (p ? p->message : "");
            EXPECT_EQ(s.Text("AVIDirectory"), after) << value;
            struct stat st {};
            if (c.inUse) {
                EXPECT_EQ(::stat(after.c_str(), &st), 0) << after;
            }
            continue;
        }
        ASSERT_TRUE(p) << value;
        EXPECT_EQ(p->control, "AVIDirectory");
        EXPECT_NE(p->message.find("\"Record dir\""), std::string::npos) << p->message;
        EXPECT_NE(p->message.find(c.expected), std::string::npos) << p->message;
    }
    struct stat st {};
    EXPECT_NE(::stat("/new/a/b", &st), 0);

    TSettingsStore s = loopbackSettings();
    s.SetText("JPGDirectory", dir + "/file/snap");
    s.SetChecked("SaveToJPG", true);
    const auto p = PrepareFolders(s);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->control, "JPGDirectory");
    EXPECT_NE(p->message.find("\"Snapshot dir\""), std::string::npos) << p->message;
}
