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
