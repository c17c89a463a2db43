#include "app/EventLog.h"
#include "support/TestEnv.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> fileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = testenv::readFile(path), line;
    size_t start = 0, pos;
    while ((pos = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, pos - start));
        start = pos + 2;
    }
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

std::string textOf(const std::string& line) {
    auto tab = line.find('\t');
    EXPECT_NE(tab, std::string::npos);
    return line.substr(tab + 1);
}

} // namespace

TEST(WriteToLogFile, LineFormatWritesTextUnchanged) {
    DataFolder() = testenv::makeTempDir() + "/";
    const std::string path = DataFolder() + LogFileName;
    EXPECT_TRUE(WriteToLogFile("hello"));
    EXPECT_TRUE(WriteToLogFile(""));
    EXPECT_TRUE(WriteToLogFile("say \"hi\"\there"));
    auto lines = fileLines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(textOf(lines[0]), "\"hello\"");
    EXPECT_EQ(textOf(lines[1]), "\"\"");
    EXPECT_EQ(lines[2].substr(lines[2].find('\t') + 1), "\"say \"hi\"\there\"");
    EXPECT_EQ(lines[0].substr(0, lines[0].find('\t')), lines[0].substr(0, lines[0].find('\t')));
    EXPECT_FALSE(lines[0].substr(0, lines[0].find('\t')).empty()) << "a date-time before the TAB";
}

TEST(WriteToLogFile, ConcurrentAppendsNeverInterleave) {
    DataFolder() = testenv::makeTempDir() + "/";
    const std::string long_text(3000, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &long_text] {
            for (int i = 0; i < 100; ++i)
                WriteToLogFile("T" + std::to_string(t) + " " + long_text);
        });
    for (auto& th : threads)
        th.join();
    auto lines = fileLines(DataFolder() + LogFileName);
    ASSERT_EQ(lines.size(), 400u);
    // Each line whole: date-time, TAB, and one writer's text in quotes.
    for (const auto& l : lines) {
        const auto tab = l.find('\t');
        ASSERT_NE(tab, std::string::npos);
        ASSERT_GT(tab, 0u);
        const std::string text = l.substr(tab + 1);
        ASSERT_EQ(text.size(), 3005u) << l.substr(0, 80);
        ASSERT_TRUE(text.rfind("\"T", 0) == 0 && text[2] >= '0' && text[2] <= '3' && text[3] == ' ' &&
                    text.back() == '"');
        ASSERT_EQ(text.find_first_not_of('x', 4), text.size() - 1);
    }
}

TEST(WriteToLogFile, MissingFolderFailsUntilItExistsAgain) {
    const std::string folder = testenv::makeTempDir();
    DataFolder() = folder + "/";
    EXPECT_TRUE(WriteToLogFile("one"));
    std::filesystem::remove_all(folder);
    EXPECT_FALSE(WriteToLogFile("lost"));
    std::filesystem::create_directory(folder);
    EXPECT_TRUE(WriteToLogFile("two"));
    auto lines = fileLines(folder + "/" + LogFileName);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(textOf(lines[0]), "\"two\"");
}

TEST(LogDateTime, TimeFormatLosesOnlyTheZoneField) {
    // Long time formats of real locales, and quoted text that holds a "t".
    const std::pair<const char*, const char*> cases[] = {
        {"HH:mm:ss t", "HH:mm:ss"},
        {"h:mm:ss AP t", "h:mm:ss AP"},
        {"t HH:mm:ss", "HH:mm:ss"},                 // my_MM
        {"t h:mm:ss AP", "h:mm:ss AP"},             // nus_SS
        {"HH:mm:ss (t)", "HH:mm:ss"},               // ca_ES, eu_ES
        {"APh:mm:ss [t]", "APh:mm:ss"},             // yue_HK
        {"'Klock' H.mm:ss (t)", "'Klock' H.mm:ss"}, // nds_DE
        {"H:mm:ss 'ч'. t", "H:mm:ss 'ч'."},         // bg_BG
        {"H 'h' mm 'min' ss 's' t", "H 'h' mm 'min' ss 's'"},
        {"HH 'uur' mm 'tot' ss t", "HH 'uur' mm 'tot' ss"}, // quoted text keeps its letters
        {"HH:mm:ss 'o''clock' t", "HH:mm:ss 'o''clock'"},
        {"HH:mm:ss tttt", "HH:mm:ss"},
        {"HH:mm:ss", "HH:mm:ss"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(TimeFormatWithoutZone(in), out) << in;
}

TEST(WriteToLogFile, ControlCharactersAreWrittenEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b[2J\x1b]0;owned\x07", "\\x1b[2J\\x1b]0;owned\\x07"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"\x01\x08\x0b\x0c\x1f\x7f", "\\x01\\x08\\x0b\\x0c\\x1f\\x7f"},
        {"\xc2\x9b"
         "31m",
         "\\xc2\\x9b31m"}, // C1 CSI in UTF-8
        {"tab\there\r\nline", "tab\there\r\nline"},
        {"Vr\xc3\xa1tn\xc3\xadk\xc2\xa0\xe2\x82\xac \\x1b",
         "Vr\xc3\xa1tn\xc3\xadk\xc2\xa0\xe2\x82\xac \\x1b"},
        {"\xc2", "\xc2"}, // a cut sequence is passed on as it came
        {"", ""},
    };
    DataFolder() = testenv::makeTempDir() + "/";
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(EscapeControlCharacters(in), out);
        EXPECT_TRUE(WriteToLogFile(in));
    }
    // Every path into the file escapes: the file holds each escaped text in order.
    const std::string file = testenv::readFile(DataFolder() + LogFileName);
    size_t at = 0;
    for (const auto& [in, out] : cases) {
        const size_t pos = file.find("\t\"" + out + "\"\r\n", at);
        ASSERT_NE(pos, std::string::npos) << "no line for " << out;
        at = pos + 1;
    }
    for (unsigned char c : file)
        EXPECT_TRUE(c >= 0x20 || c == '\t' || c == '\r' || c == '\n') << int(c);
}

TEST(WriteToLogFile, RotatesAtAFixedSizeKeepingOnePreviousFile) {
    DataFolder() = testenv::makeTempDir() + "/";
    const std::string current = DataFolder() + LogFileName;
    const std::string previous = DataFolder() + PreviousLogFileName;
    constexpr std::uintmax_t limit = 1000;
    SetLogFileMaxBytesForTest(limit);
    std::vector<std::string> written;
    for (int i = 0; i < 60; ++i) {
        written.push_back("entry " + std::to_string(i) + " " + std::string(60, 'x'));
        ASSERT_TRUE(WriteToLogFile(written.back()));
        ASSERT_LE(std::filesystem::file_size(current), limit) << "after entry " << i;
    }
    SetLogFileMaxBytesForTest(0);
    ASSERT_TRUE(std::filesystem::exists(previous));
    EXPECT_LE(std::filesystem::file_size(previous), limit);
    EXPECT_GT(std::filesystem::file_size(previous) + std::filesystem::file_size(current), limit)
        << "the previous file is full, not emptied";
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(DataFolder()))
        ++files;
    EXPECT_EQ(files, 2u) << "one previous file, no more";
    // Whole lines, in order, the newest last: the previous file, then the current one.
    auto lines = fileLines(previous);
    for (const auto& l : fileLines(current))
        lines.push_back(l);
    ASSERT_GE(lines.size(), 2u);
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(textOf(lines[i]), "\"" + written[written.size() - lines.size() + i] + "\"");
}
