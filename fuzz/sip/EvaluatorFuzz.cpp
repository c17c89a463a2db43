// Client output in arbitrary pieces, mixed with commands, polls and answers:
// the evaluation must never crash, never grow without bound and keep its ids short.
#include "sip/LinphoneEvaluator.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TLinphoneEvaluator e;
    TSecretMasker masker;
    std::string_view in(reinterpret_cast<const char*>(data), size);
    while (!in.empty()) {
        const uint8_t op = static_cast<uint8_t>(in.front());
        in.remove_prefix(1);
        const size_t n = std::min<size_t>(in.size(), op >> 3);
        const std::string_view piece = in.substr(0, n);
        in.remove_prefix(n);
        switch (op & 7) {
        case 0:
        case 1:
        case 2: {
            e.Evaluate(piece);
            const std::string masked = masker.Mask(piece);
            if (masked.size() != piece.size()) std::abort();
            break;
        }
        case 3:
            e.AnswerIncomingCall((op & 8) != 0, (op & 16) != 0);
            break;
        case 4:
            e.Command(std::string(piece));
            break;
        case 5:
            e.PollDue();
            break;
        case 6:
            e.CallButton();
            break;
        case 7:
            (void)CallIdFrom(piece);
            break;
        }
        if (e.CallID_connected.size() > MaxCallIdDigits || e.CallID_ringing.size() > MaxCallIdDigits ||
            e.HeldCommands() > 4096)
            std::abort();
    }
    return 0;
}
