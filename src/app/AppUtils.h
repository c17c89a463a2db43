#pragma once
#include <string>
#include <string_view>

// Free-standing operations that only the main window uses. None of them keeps
// state between calls; all are thread-safe.

// Dotted IPv4 of the local host name, empty text when the name cannot be read
// or does not resolve.
std::string GetLocalIP();

std::string EncodeBase64(std::string_view bytes);
// Base64 of user + ":" + password: the door phone's Basic-authorization token.
std::string DoorPhoneCredential(const std::string& user, const std::string& password);
