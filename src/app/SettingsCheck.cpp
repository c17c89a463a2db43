#include "app/SettingsCheck.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::function<std::string(const std::string&)>& translator() {
    static std::function<std::string(const std::string&)> t;
    return t;
}

std::string tr(const char* english, std::initializer_list<std::string> args = {}) {
    return SettingsText(english, args);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isAllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!isDigit(c)) return false;
    return true;
}

// C0 controls, DEL and the C1 controls as UTF-8 (U+0080..U+009F).
bool hasControlCharacter(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < s.size()) {
            const auto d = static_cast<unsigned char>(s[i + 1]);
            if (d >= 0x80 && d <= 0x9F) return true;
        }
    }
    return false;
}

// The field as a message names it: the label without its colon, quoted.
std::string quoted(const std::string& control) {
    std::string name = SettingsFieldName(control);
    if (!name.empty() && name.back() == ':') name.pop_back();
    return "\"" + name + "\"";
}

SettingsProblem problem(const std::string& control, const std::string& text) {
    return {control, quoted(control) + " " + text};
}

bool doorPhoneInUse(const TSettingsStore& s, char n) {
    return n == '1' || s.Checked(std::string("CheckBox") + n);
}

// The digit of a door-phone control ("DoorPhoneIP3Text" -> '3'), or 0.
char doorPhoneOf(const std::string& control) {
    for (const char* stem : {"DoorPhoneIP", "DoorPhoneVideoPort", "DoorPhoneUserName", "DoorPhonePassword"}) {
        const size_t len = std::strlen(stem);
        if (control.compare(0, len, stem) == 0 && control.size() > len) return control[len];
    }
    return 0;
}

std::optional<SettingsProblem> checkInUse(const TSettingsStore& s, const std::string& control,
                                          const std::string& value) {
    if (const char n = doorPhoneOf(control); n && doorPhoneInUse(s, n)) {
        if (control.rfind("DoorPhoneIP", 0) == 0 && !IsHostName(value))
            return problem(control,
                           tr("must be an IPv4 address (such as %1) or a host name.", {"192.168.1.250"}));
        if (control.rfind("DoorPhoneVideoPort", 0) == 0 && !IsPortNumber(value))
            return problem(control, tr("must be a port number from 1 to 65535."));
        return std::nullopt;
    }
    if (s.ItemIndex() != 1) return std::nullopt; // the SIP values wait unused in peer-to-peer mode
    if (control == "SipServerAdressText" || control == "SipProxyAdressText") {
        if (!IsHostName(value))
            return problem(control,
                           tr("must be an IPv4 address (such as %1) or a host name.", {"192.168.1.5"}));
    } else if (control == "MyIdentityText" || control == "MyPasswordText" || control == "CallPrefixText") {
        if (control == "MyIdentityText" && value.empty())
            return problem(control, tr("must not be empty in SIP server mode."));
        if (value.find(' ') != std::string::npos)
            return problem(control,
                           tr("must not contain blanks: the SIP client would read it as two values."));
    }
    return std::nullopt;
}

// Creates the folder and its missing parents; 0 or the reason (errno) it could not.
int makeFolder(const std::string& path) {
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        struct stat st {};
        if (::stat(part.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return ENOTDIR;
        } else if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return errno;
        }
        if (end == std::string::npos) return 0;
    }
}

std::optional<SettingsProblem> prepareFolder(TSettingsStore& s, const char* control, const char* leaf,
                                             const char* enable) {
    std::string path = s.Text(control);
    if (path.empty()) {
        path = TSettingsStore::DefaultFolder(leaf);
        s.SetText(control, path);
    }
    if (!s.Checked(enable)) return std::nullopt;
    if (path.empty() || path.front() != '/')
        return problem(control, tr("must be a full folder path (beginning with /)."));
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (const int err = makeFolder(path))
            return problem(control, tr("names the folder \"%1\", which cannot be created: %2.",
                                       {path, std::strerror(err)}));
    } else if (!S_ISDIR(st.st_mode)) {
        return problem(control, tr("names \"%1\", which is a file, not a folder.", {path}));
    }
    if (::access(path.c_str(), W_OK | X_OK) != 0) {
        const int err = errno;
        return problem(control,
                       tr("names the folder \"%1\", which is not writable: %2.", {path, std::strerror(err)}));
    }
    return std::nullopt;
}

} // namespace

std::string SettingsFieldName(const std::string& control) {
    if (const char n = doorPhoneOf(control)) {
        const std::string k(1, n);
        if (control.rfind("DoorPhoneIP", 0) == 0) return tr("DoorPhone IP%1:", {k});
        if (control.rfind("DoorPhoneVideoPort", 0) == 0) return tr("Video Port %1", {k});
        if (control.rfind("DoorPhoneUserName", 0) == 0) return tr("User Name %1", {k});
        return tr("Password %1", {k});
    }
    if (control.size() == 9 && control.rfind("CheckBox", 0) == 0)
        return tr("Door phone %1 enabled", {std::string(1, control.back())});
    static const std::pair<const char*, const char*> names[] = {
        {"SipServerAdressText", "SIP server adress:"},
        {"SipProxyAdressText", "SIP proxy adress:"},
        {"CallPrefixText", "Call prefix:"},
        {"MyIdentityText", "My identity:"},
        {"MyPasswordText", "My password:"},
        {"AuthIDText", "Auth. ID:"},
        {"RadioGroup1", "Phone connection"},
        {"Language", "Language"},
        {"LangFlagsCombo1", "Language"},
        {"PopUpCall", "Pop-Up upon call"},
        {"PopUpAlways", "Pop-Up always"},
        {"SaveToAVI", "Save call to Record dir as AVI:"},
        {"AVIDirectory", "Record dir"},
        {"SaveToJPG", "Save call to Snapshot dir as JPG:"},
        {"JPGDirectory", "Snapshot dir"},
    };
    for (const auto& [c, name] : names)
        if (control == c) return tr(name);
    return control;
}

bool IsPortNumber(std::string_view text) {
    if (text.size() > 5 || !isAllDigits(text)) return false;
    int v = 0;
    for (char c : text)
        v = v * 10 + (c - '0');
    return v >= 1 && v <= 65535;
}

bool IsIPv4Address(std::string_view text) {
    int parts = 0;
    while (true) {
        const size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (part.size() > 3 || !isAllDigits(part)) return false;
        if (part.size() > 1 && part.front() == '0') return false;
        int v = 0;
        for (char c : part)
            v = v * 10 + (c - '0');
        if (v > 255) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return parts == 4;
}

bool IsHostName(std::string_view text) {
    if (text.empty() || text.size() > 253) return false;
    bool allNumeric = true;
    std::string_view rest = text;
    while (true) {
        const size_t dot = rest.find('.');
        const std::string_view label = rest.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!isDigit(c) && c != '-' && !((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) return false;
        if (!isAllDigits(label)) allNumeric = false;
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    return !allNumeric || IsIPv4Address(text);
}

std::optional<SettingsProblem> CheckSettings(const TSettingsStore& s) {
    for (const TSettingsStore::KeySpec& k : TSettingsStore::Keys()) {
        if (k.kind != TSettingsStore::Kind::Text && k.kind != TSettingsStore::Kind::PortText) continue;
        const std::string control = k.control;
        const std::string value = s.Text(control);
        if (hasControlCharacter(value))
            return problem(control,
                           tr("contains a line break or another control character, which the settings file "
                              "cannot keep."));
        if (!value.empty() && (value.front() == ' ' || value.back() == ' '))
            return problem(control, tr("begins or ends with a blank, which the settings file would drop."));
        if (auto p = checkInUse(s, control, value)) return p;
    }
    return std::nullopt;
}

std::optional<SettingsProblem> PrepareFolders(TSettingsStore& s) {
    if (auto p = prepareFolder(s, "AVIDirectory", "Record", "SaveToAVI")) return p;
    return prepareFolder(s, "JPGDirectory", "Snapshot", "SaveToJPG");
}

const std::vector<std::string>& SettingsCheckTexts() {
    static const std::vector<std::string> texts = {
        "DoorPhone IP%1:", "Video Port %1", "User Name %1", "Password %1", "Door phone %1 enabled",
        "SIP server adress:", "SIP proxy adress:", "Call prefix:", "My identity:", "My password:",
        "Auth. ID:", "Phone connection", "Language", "Pop-Up upon call", "Pop-Up always",
        "Save call to Record dir as AVI:", "Record dir", "Save call to Snapshot dir as JPG:", "Snapshot dir",
        "contains a line break or another control character, which the settings file cannot keep.",
        "begins or ends with a blank, which the settings file would drop.",
        "must be an IPv4 address (such as %1) or a host name.", "must be a port number from 1 to 65535.",
        "must not be empty in SIP server mode.",
        "must not contain blanks: the SIP client would read it as two values.",
        "must be a full folder path (beginning with /).",
        "names the folder \"%1\", which cannot be created: %2.",
        "names \"%1\", which is a file, not a folder.", "names the folder \"%1\", which is not writable: %2.",
        // The dialog's own.
        "Settings not saved", "The settings could not be saved to the file \"%1\": %2.",
        "Nothing was changed; your entries are still in the dialog."};
    return texts;
}

void SetSettingsTranslator(std::function<std::string(const std::string& english)> translate) {
    translator() = std::move(translate);
}

std::string SettingsText(const char* english, std::initializer_list<std::string> args) {
    std::string t = translator() ? translator()(english) : std::string(english);
    int n = 1;
    for (const std::string& a : args) {
        const std::string mark = "%" + std::to_string(n++);
        if (const size_t at = t.find(mark); at != std::string::npos) t.replace(at, mark.size(), a);
    }
    return t;
}
