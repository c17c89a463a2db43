#pragma once
#include "app/IniProfile.h"

#include <map>
#include <string>
#include <vector>

// The live configuration: every value of the settings file under the name of
// the settings dialog control that shows it ("DoorPhoneIP1Text", "CheckBox2",
// "RadioGroup1", ...). Read once from the file at start; written by Save.
class TSettingsStore {
public:
    enum class Kind { Text, PortText, Bool, Choice };
    struct KeySpec {
        const char* key; // key in section "global"
        Kind kind;
        const char* def;     // default as text ("1"/"0" for Booleans)
        const char* control; // control name
    };
    // Every key in the order Save writes them.
    static const std::vector<KeySpec>& Keys();

    // iniPath: the data folder without a trailing '/'.
    explicit TSettingsStore(std::string iniPath);

    const std::string& IniPath() const { return iniPath_; }
    std::string IniFileName() const { return iniPath_ + "/VELNORA_Manager.ini"; }

    // Reads every key into its control value; a missing file, key or bad number gives the default.
    // Empty folder values are replaced by their default folders (created when missing).
    // Door phones are enabled only in sequence, as the dialog's boxes allow:
    // CheckBox3 without CheckBox2 (or CheckBox4 without CheckBox3) reads as off.
    void Load();
    // Writes every key in order. A port that is not a number keeps the file's
    // previous value; empty folders get their defaults first; Language is the
    // engine's current language. False when the file could not be written; the
    // old file then stays whole and *error (when given) gets the reason.
    bool Save(const std::string& currentLanguage, std::string* error = nullptr);

    std::string Text(const std::string& control) const;
    void SetText(const std::string& control, const std::string& value);
    bool Checked(const std::string& control) const;
    void SetChecked(const std::string& control, bool value);
    // RadioGroup1's selected choice: -1 none, 0 peer-to-peer, 1 SIP server.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index) { itemIndex_ = index; }

    // The default recording / snapshot folder, created when missing (empty text if that fails).
    static std::string DefaultFolder(const char* leaf);

private:
    std::string iniPath_;
    std::map<std::string, std::string> texts_;
    std::map<std::string, bool> checks_;
    int itemIndex_ = 0;
};
