#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An INI profile as the desk has always kept its settings: sections and keys
// ignore letter case, values are read without surrounding blanks, the first
// of duplicate keys wins, and writing one key keeps every other line as it was.
class IniProfile {
public:
    void loadText(std::string_view text);
    // False when the file cannot be read; the profile is then empty.
    bool loadFile(const std::string& path);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key, const std::string& def) const;
    // Decimal, "$hex" or "0xhex" with an optional sign; anything else gives def.
    int32_t readInteger(std::string_view section, std::string_view key, int32_t def) const;
    // Read as an integer: any value but 0 is true.
    bool readBool(std::string_view section, std::string_view key, bool def) const;

    // Replaces the key's line in place, or adds it at the end of its section,
    // or adds the section at the end.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;
    // Writes the whole profile to path through a new file that replaces the
    // old one; a new file gets mode 0600 (it holds passwords). False when the
    // existing file is not writable or anything fails; the old file then stays
    // whole and *error (when given) gets the system's reason ("Permission denied").
    bool saveFile(const std::string& path, std::string* error = nullptr) const;

private:
    struct Line {
        std::string raw;     // as read, without the line end
        std::string section; // for section headers: the name; else empty
        std::string key;     // for key lines: the trimmed key; else empty
        bool isSection = false;
        bool isKey = false;
    };
    static Line parseLine(std::string raw);
    // Index of the key's line or -1; sectionEnd: index after the last non-blank line of the section or -1.
    int findKey(std::string_view section, std::string_view key, int* sectionEnd) const;

    std::vector<Line> lines_;
};

// The integer conversion of the settings: optional sign, then decimal digits,
// or hexadecimal after "$" or "0x"; must fit 32 bits signed.
std::optional<int32_t> ParseIniInteger(std::string_view text);
// The port rule of Save: true when the text converts to a 32-bit integer.
bool IsNumber(std::string_view text);
