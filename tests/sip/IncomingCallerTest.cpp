#include "sip/IncomingCaller.h"

#include "IncomingPieces.h"

#include <gtest/gtest.h>
#include <string>

TEST(IncomingCaller, AddressComesFromTheAnnouncingLineAlone) {
    struct Case {
        std::string text;
        std::string user, host; // empty host and user: no caller
    };
    const Case cases[] = {
        {sipfixture::IncomingPiece, "door", "127.0.0.21"},
        {sipfixture::IncomingPieceWithDisplayName, "door", "127.0.0.21"},
        {"Receiving new incoming call from sip:door@127.0.0.1, assigned id 1", "door", "127.0.0.1"},
        {"Receiving new incoming call from \"Front Door\" <sip:202@10.0.0.7:5071>, assigned id 12\r\n", "202",
         "10.0.0.7"},
        {"Receiving new incoming call from <sip:door@[::1]:5060;transport=udp>, assigned id 3", "door",
         "::1"},
        {"Receiving new incoming call from sip:door:pw@Door.Example, assigned id 3", "door", "Door.Example"},
        {"Receiving new incoming call from sip:127.0.0.5, assigned id 3", "", "127.0.0.5"},
        {"Receiving new incoming call from \"x, assigned id 3\" <sip:a@127.0.0.6>, assigned id 4", "a",
         "127.0.0.6"},
        {"2026-01-01 sip:linphone@127.0.0.1:5060 noise\nCall 1 with sip:door@127.0.0.1 connected.\n", "", ""},
        {"Receiving new incoming call from unknown, assigned id 3", "", ""},
        {"Receiving new incoming call from \"Front Door\" <sip:door@127.0.0.1, assigned id 3", "", ""},
    };
    for (const auto& c : cases) {
        const auto caller = IncomingCallerFrom(c.text);
        if (c.user.empty() && c.host.empty()) {
            EXPECT_FALSE(caller.has_value()) << c.text;
            continue;
        }
        ASSERT_TRUE(caller.has_value()) << c.text;
        EXPECT_EQ(caller->user, c.user) << c.text;
        EXPECT_EQ(caller->host, c.host) << c.text;
    }
}

// The real piece carries the desk's own address (127.0.0.1) and time stamps
// with "20" and "202" in them; only the panel of the caller matches.
TEST(IncomingCaller, PanelMatchesByWholeAddressOrSipNumberNeverBySubstring) {
    struct Case {
        const char* ip;
        const char* number;
        bool matches;
    };
    const Case cases[] = {
        {"127.0.0.21", "", true},
        {"127.0.0.21:5071", "", true}, // a panel address with the port the desk dials
        {" 127.0.0.21 ", "", true},
        {"", "door", true},
        {"127.0.0.9", "door", true},
        {"127.0.0.2", "", false}, // a prefix of the caller's address
        {"127.0.0.1", "", false}, // the desk's own address, in the noise around the line
        {"127.0.0.210", "", false},
        {"", "20", false}, // in every time stamp
        {"", "202", false},
        {"", "doo", false},
        {"", "Door", false},
        {"", "", false},
        {"127.0.0.3", "18", false},
    };
    for (const char* piece : {sipfixture::IncomingPiece, sipfixture::IncomingPieceWithDisplayName}) {
        const auto caller = IncomingCallerFrom(piece);
        ASSERT_TRUE(caller.has_value());
        for (const auto& c : cases)
            EXPECT_EQ(CallerIsPanel(*caller, c.ip, c.number), c.matches)
                << "'" << c.ip << "' '" << c.number << "'";
    }
    EXPECT_TRUE(CallerIsPanel({"", "door.example"}, "Door.Example", ""));
    EXPECT_FALSE(CallerIsPanel({"", ""}, "", ""));
}
