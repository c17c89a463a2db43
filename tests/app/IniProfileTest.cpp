#include "app/IniProfile.h"

#include <gtest/gtest.h>

TEST(IniProfile, ReadsWithWindowsProfileRules) {
    IniProfile ini;
    ini.loadText(
        "; comment\r\n[Other]\r\nKey=other\r\n[GLOBAL]\r\n  Name  =  spaced value  \r\nEmpty=\r\n"
        "Dup=first\r\ndup=second\r\nHex1=0x1F\r\nHex2=$ff\r\nNeg=-12\r\nBad=12a\r\nBig=4294967296\r\n"
        "Yes=yes\r\nTwo=2\r\nZero=0\r\nNoEquals\r\n");
    EXPECT_EQ(ini.readString("global", "NAME", "d"), "spaced value");
    EXPECT_EQ(ini.readString("global", "Empty", "d"), "") << "a present empty value is empty text";
    EXPECT_EQ(ini.readString("global", "Missing", "d"), "d");
    EXPECT_EQ(ini.readString("global", "Key", "d"), "d") << "keys of other sections are not seen";
    EXPECT_EQ(ini.readString("global", "dup", "d"), "first");
    struct Case {
        const char* key;
        int32_t expected;
    } cases[] = {{"Hex1", 31}, {"Hex2", 255}, {"Neg", -12},  {"Bad", 7},
                 {"Big", 7},   {"Empty", 7},  {"Missing", 7}};
    for (const auto& c : cases)
        EXPECT_EQ(ini.readInteger("global", c.key, 7), c.expected) << c.key;
    EXPECT_FALSE(ini.readBool("global", "Yes", false)) << "a word reads as the default";
    EXPECT_TRUE(ini.readBool("global", "Yes", true));
    EXPECT_TRUE(ini.readBool("global", "Two", false));
    EXPECT_FALSE(ini.readBool("global", "Zero", true));
}

TEST(IniProfile, IntegerConversionTable) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {{"80", 80},
                 {"+80", 80},
                 {"-1", -1},
                 {"0x50", 80},
                 {"0X50", 80},
                 {"$50", 80},
                 {"$FFFFFFFF", -1},
                 {"2147483647", 2147483647},
                 {"-2147483648", INT32_MIN},
                 {"2147483648", std::nullopt},
                 {"8O", std::nullopt},
                 {"", std::nullopt},
                 {"0x", std::nullopt},
                 {" 80", std::nullopt},
                 {"8 0", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIniInteger(c.text), c.value) << '"' << c.text << '"';
        EXPECT_EQ(IsNumber(c.text), c.value.has_value()) << '"' << c.text << '"';
    }
}

TEST(IniProfile, WritingOneKeyKeepsEverythingElse) {
    IniProfile ini;
    ini.loadText("[a]\r\nx=1\r\n\r\n[global]\r\n; note\r\nPort=80\r\nIP=1.2.3.4\r\n\r\n[z]\r\nq=9\r\n");
    ini.writeString("GLOBAL", "port", "8080");
    ini.writeString("global", "New", "v");
    ini.writeString("fresh", "k", "w");
    EXPECT_EQ(ini.text(), "[a]\r\nx=1\r\n\r\n[global]\r\n; note\r\nport=8080\r\nIP=1.2.3.4\r\nNew=v\r\n\r\n"
                          "[z]\r\nq=9\r\n\r\n[fresh]\r\nk=w\r\n");
    IniProfile again;
    again.loadText(ini.text());
    EXPECT_EQ(again.readString("global", "Port", ""), "8080");
    EXPECT_EQ(again.readString("z", "q", ""), "9");
}
