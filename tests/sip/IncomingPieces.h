#pragma once
// Pieces of output read from Debian's linphonec 5.1 (the desk's side, standard
// error merged in) when a door phone at 127.0.0.21 called the desk, as one
// read handed them over: the client's own address (127.0.0.1) and time stamps
// ("2026", "18:51") stand around the announcing line.
namespace sipfixture {

inline constexpr const char* IncomingPiece =
    "linphonec> 2026-12-10 18:51:24:696 liblinphone-error-LinphoneCore sip:linphone@127.0.0.1:5060 has video "
    "disabled for both capture and display, but video policy is to start the call with video. This is a "
    "possible mis-use of the API. In this case, video is disabled in default LinphoneCallParams\n"
    "Receiving new incoming call from sip:door@127.0.0.21, assigned id 1\n"
    "2026-12-10 18:51:24:698 belle-sip-error-fast_header_address parser error for [sip:linphone@:-1]\n";

// The same with the door phone's display name set.
inline constexpr const char* IncomingPieceWithDisplayName =
    "linphonec> 2026-12-10 18:51:32:590 liblinphone-error-LinphoneCore sip:linphone@127.0.0.1:5060 has video "
    "disabled for both capture and display, but video policy is to start the call with video. This is a "
    "possible mis-use of the API. In this case, video is disabled in default LinphoneCallParams\n"
    "Receiving new incoming call from \"Front Door\" <sip:door@127.0.0.21>, assigned id 1\n"
    "2026-12-10 18:51:32:593 belle-sip-error-fast_header_address parser error for [sip:linphone@:-1]\n";

} // namespace sipfixture
