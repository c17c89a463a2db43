#pragma once
#include <string>
#include <vector>

// The SIP client runs with a private home inside the data folder, so that its
// settings, its call history and its command history (which holds the
// registration password) never mix with the user's own and stay private.

// Removes the settings the client left in its private home at its last run.
void RemoveStaleClientSettings(const std::string& clientHome);
// Creates the private home (mode 0700) with the folders the client needs;
// false with a reason when it cannot.
bool PrepareClientHome(const std::string& clientHome, std::string* error = nullptr);
// HOME, XDG_CONFIG_HOME and XDG_DATA_HOME pointing into the private home.
std::vector<std::string> ClientHomeVariables(const std::string& clientHome);
