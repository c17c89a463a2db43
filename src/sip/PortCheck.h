#pragma once
#include "sip/PortListing.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Who holds the SIP port: the desk's client needs UDP port 5060, and when
// another program has it the desk is told that program's name, once a run.

// The file name of the process that holds UDP port 5060, or empty text.
std::string PortOwnerLookup();

class TPortCheck {
public:
    // The lookup (tests replace it) and the user's message (a modal box by default).
    std::function<std::string()> Lookup = [] { return PortOwnerLookup(); };
    std::function<void(const std::string& text)> ShowError;
    // Log lines go straight to the log file.
    std::function<void(const std::string& line)> WriteLog;
    // Texts of the message: before and after the program's name.
    std::string MessageBefore = "Could not start UDP transport on port 5060 (Voice). Blocking program is: ";
    std::string MessageAfter = " Please stop this program.";
    int RetryWaitMs = 1000;

    // quiet: report only a program that was found. Not quiet: look up to four
    // times and report "Unknown" when nobody was found. Reports once a run;
    // the desk's own client holding the port is no conflict.
    void Check(bool quiet);
    bool Reported() const { return reported_; }

private:
    bool reported_ = false;
};
