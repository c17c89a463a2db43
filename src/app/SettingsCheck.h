#pragma once
#include "app/SettingsStore.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The checks the settings dialog makes before Save writes anything. A value
// that the settings file cannot hold, or that the door phones or the SIP
// client would misread, is refused with a message that names the field.
struct SettingsProblem {
    std::string control; // the offending control's name ("DoorPhoneVideoPort2Text")
    std::string message; // for the user; names the field as the dialog labels it
};

// The name the user knows a control by (its label; also its accessible name):
// "DoorPhone IP2:", "Video Port 2", "Door phone 3 enabled", "SIP server adress:".
std::string SettingsFieldName(const std::string& control);

// Every value that will be written must survive the file: no control character
// (line breaks and NUL included) and no blank at either edge. Beyond that only
// the values in use are checked: the address and port of door phone 1 and of
// every enabled door phone; in SIP-server mode the server and proxy addresses
// and the blanks of identity, password and call prefix. The first problem in the
// file's key order is returned. Touches nothing.
std::optional<SettingsProblem> CheckSettings(const TSettingsStore& settings);

// Fills an empty recording or snapshot folder with its default folder (created),
// then, for a folder in use (SaveToAVI / SaveToJPG checked), creates it when
// missing and makes sure it is a writable folder.
std::optional<SettingsProblem> PrepareFolders(TSettingsStore& settings);

// 1 to 65535 in decimal digits.
bool IsPortNumber(std::string_view text);
// Four dotted decimal parts of 0 to 255, without leading zeros (which some
// resolvers read as octal).
bool IsIPv4Address(std::string_view text);
// Letters, digits and inner hyphens in dot-separated labels of 1 to 63
// characters, at most 253 in all; all-numeric names must be IPv4 addresses.
bool IsHostName(std::string_view text);

// Every text the checks and field names are made of, in English, with "%1"
// and "%2" where a number, an address, a path or a reason goes.
const std::vector<std::string>& SettingsCheckTexts();
// How those texts reach the user's language: given one of them, the text to
// show (the language's own, or the English one). None: English.
void SetSettingsTranslator(std::function<std::string(const std::string& english)> translate);
// One of those texts in the user's language, "%1", "%2" ... filled in order.
std::string SettingsText(const char* english, std::initializer_list<std::string> args = {});
