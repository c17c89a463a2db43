#include "app/SettingsStore.h"

#include "platform/Folders.h"

namespace {
constexpr const char* Section = "global";
}

const std::vector<TSettingsStore::KeySpec>& TSettingsStore::Keys() {
    using K = Kind;
    static const std::vector<KeySpec> keys = {
        {"RemoteDoorPhoneIP1", K::Text, "192.168.1.250", "DoorPhoneIP1Text"},
        {"RemoteDoorVideoPort1", K::PortText, "80", "DoorPhoneVideoPort1Text"},
        {"RemoteDoorPhoneUserName1", K::Text, "", "DoorPhoneUserName1Text"},
        {"RemoteDoorPhonePassword1", K::Text, "", "DoorPhonePassword1Text"},
        {"CheckBox2", K::Bool, "0", "CheckBox2"},
        {"RemoteDoorPhoneIP2", K::Text, "192.168.1.251", "DoorPhoneIP2Text"},
        {"RemoteDoorVideoPort2", K::PortText, "80", "DoorPhoneVideoPort2Text"},
        {"RemoteDoorPhoneUserName2", K::Text, "", "DoorPhoneUserName2Text"},
        {"RemoteDoorPhonePassword2", K::Text, "", "DoorPhonePassword2Text"},
        {"CheckBox3", K::Bool, "0", "CheckBox3"},
        {"RemoteDoorPhoneIP3", K::Text, "192.168.1.252", "DoorPhoneIP3Text"},
        {"RemoteDoorVideoPort3", K::PortText, "80", "DoorPhoneVideoPort3Text"},
        {"RemoteDoorPhoneUserName3", K::Text, "", "DoorPhoneUserName3Text"},
        {"RemoteDoorPhonePassword3", K::Text, "", "DoorPhonePassword3Text"},
        {"CheckBox4", K::Bool, "0", "CheckBox4"},
        {"RemoteDoorPhoneIP4", K::Text, "192.168.1.253", "DoorPhoneIP4Text"},
        {"RemoteDoorVideoPort4", K::PortText, "80", "DoorPhoneVideoPort4Text"},
        {"RemoteDoorPhoneUserName4", K::Text, "", "DoorPhoneUserName4Text"},
        {"RemoteDoorPhonePassword4", K::Text, "", "DoorPhonePassword4Text"},
        {"SipServerAdress", K::Text, "192.168.1.5", "SipServerAdressText"},
        {"SipProxyAdress", K::Text, "192.168.1.5", "SipProxyAdressText"},
        {"MyIdentity", K::Text, "101", "MyIdentityText"},
        {"MyPassword", K::Text, "7wrtzm3", "MyPasswordText"},
        {"CallPrefix", K::Text, "", "CallPrefixText"},
        {"AuthID", K::Text, "", "AuthIDText"},
        {"PhoneConnection", K::Choice, "0", "RadioGroup1"},
        {"Language", K::Text, "EN", "Language"},
        {"PopUp", K::Bool, "0", "PopUpCall"},
        {"PopUpAlways", K::Bool, "0", "PopUpAlways"},
        {"SaveToAVI", K::Bool, "0", "SaveToAVI"},
        {"SaveToJPG", K::Bool, "0", "SaveToJPG"},
        {"AVIDirectory", K::Text, "", "AVIDirectory"},
        {"JPGDirectory", K::Text, "", "JPGDirectory"},
    };
    return keys;
}

TSettingsStore::TSettingsStore(std::string iniPath) : iniPath_(std::move(iniPath)) {
    for (const KeySpec& k : Keys()) {
        if (k.kind == Kind::Bool)
            checks_[k.control] = std::string(k.def) == "1";
        else if (k.kind != Kind::Choice)
            texts_[k.control] = k.def;
    }
}

std::string TSettingsStore::DefaultFolder(const char* leaf) {
    std::string base = platform::commonDocumentsFolder();
    if (base.empty()) return {};
    base += "/VELNORA Manager";
    platform::createDirectories(base);
    std::string folder = base + "/" + leaf;
    platform::createDirectory(folder);
    return folder;
}

void TSettingsStore::Load() {
    IniProfile ini;
    ini.loadFile(IniFileName()); // no file or unreadable: every key takes its default
    for (const KeySpec& k : Keys()) {
        switch (k.kind) {
        case Kind::Text:
        case Kind::PortText:
            texts_[k.control] = ini.readString(Section, k.key, k.def);
            break;
        case Kind::Bool:
            checks_[k.control] = ini.readBool(Section, k.key, std::string(k.def) == "1");
            break;
        case Kind::Choice: {
            int v = ini.readInteger(Section, k.key, 0);
            itemIndex_ = v < 0 ? -1 : (v >= 1 ? 1 : 0);
            break;
        }
        }
    }
    if (!checks_["CheckBox2"]) checks_["CheckBox3"] = false;
    if (!checks_["CheckBox3"]) checks_["CheckBox4"] = false;
    if (texts_["AVIDirectory"].empty()) texts_["AVIDirectory"] = DefaultFolder("Record");
    if (texts_["JPGDirectory"].empty()) texts_["JPGDirectory"] = DefaultFolder("Snapshot");
}

bool TSettingsStore::Save(const std::string& currentLanguage, std::string* error) {
    IniProfile ini;
    ini.loadFile(IniFileName()); // keep every other key and section as it is
    if (texts_["AVIDirectory"].empty()) texts_["AVIDirectory"] = DefaultFolder("Record");
    if (texts_["JPGDirectory"].empty()) texts_["JPGDirectory"] = DefaultFolder("Snapshot");
    for (const KeySpec& k : Keys()) {
        switch (k.kind) {
        case Kind::Text:
            ini.writeString(Section, k.key,
                            std::string(k.key) == "Language" ? currentLanguage : texts_[k.control]);
            break;
        case Kind::PortText:
            if (IsNumber(texts_[k.control])) ini.writeString(Section, k.key, texts_[k.control]);
            break;
        case Kind::Bool:
            ini.writeString(Section, k.key, checks_[k.control] ? "1" : "0");
            break;
        case Kind::Choice:
            ini.writeString(Section, k.key, std::to_string(itemIndex_));
            break;
        }
    }
    return ini.saveFile(IniFileName(), error);
}

std::string TSettingsStore::Text(const std::string& control) const {
    auto it = texts_.find(control);
    return it == texts_.end() ? std::string() : it->second;
}

void TSettingsStore::SetText(const std::string& control, const std::string& value) {
    texts_[control] = value;
}

bool TSettingsStore::Checked(const std::string& control) const {
    auto it = checks_.find(control);
    return it != checks_.end() && it->second;
}

void TSettingsStore::SetChecked(const std::string& control, bool value) {
    checks_[control] = value;
}
