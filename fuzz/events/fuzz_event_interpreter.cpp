// Arbitrary chunks through the event interpreter and the value reader. The
// first byte seeds the panel's door state, the second picks an effect that the
// panel fails to apply (0: none), the rest is the chunk.
#include "doorphone/EventInterpreter.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace doorphone;

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t flags = data[0];
    const uint8_t failAt = data[1];
    const std::string_view chunk(reinterpret_cast<const char*>(data + 2), size - 2);

    DoorState state;
    state.sensor1_enable = flags & 1;
    state.sensor2_enable = flags & 2;
    state.door1open = flags & 4;
    state.door2open = flags & 8;
    state.InCallInProcess = flags & 16;
    state.OutCallInProcess = flags & 32;
    const DoorState before = state;

    int applied = 0;
    interpretChunk(chunk, state, [&](const EventEffect& e) {
        if (e.kind == EventEffect::Kind::SetSIPNumber) check(e.text.size() <= kMaxSIPNumber);
        if (e.kind == EventEffect::Kind::SetTimeBeforeCall)
            check(e.value >= 0 && e.value <= kMaxTimeBeforeCall);
        return failAt == 0 || ++applied != failAt;
    });
    // Door contacts, once configured, stay configured.
    check(!before.sensor1_enable || state.sensor1_enable);
    check(!before.sensor2_enable || state.sensor2_enable);

    // A value is always a piece of the chunk.
    const std::string_view ownKey = chunk.substr(0, flags % 8);
    for (std::string_view key :
         {std::string_view("NET_HOSTNAME="), std::string_view("TIME_BEFORE_CALL="), ownKey}) {
        if (auto v = readValue(chunk, key)) check(chunk.find(*v) != std::string_view::npos);
    }
    return 0;
}
