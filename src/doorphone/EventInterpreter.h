#pragma once
// What a door phone's event chunks mean for its panel. Pure: no Qt, no widget,
// so the fuzzer and the tests drive it with bare bytes.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace doorphone {

// The panel fields the interpretation reads and sets.
struct DoorState {
    bool sensor1_enable = false; // door contact 1 configured; never cleared again
    bool sensor2_enable = false;
    bool door1open = false;
    bool door2open = false;
    bool OutCallInProcess = false;
    bool InCallInProcess = false;
};

enum class Button { Vratnik, Camera, IncomingCall, Lock1, Lock2 };

// One thing the panel has to do, in the order it has to be done.
struct EventEffect {
    enum class Kind {
        SetPicture,        // button, text = picture file name
        SetCaption,        // text = the device's name for GuardCaption
        SetSIPNumber,      // text, at most 255 characters
        SetTimeBeforeCall, // value = seconds, 0..3600
        PlaySound,         // text = file to play once
        StopSound,
        PopUpActive,
        PopUpDeActive,
        Snapshot,       // only when the panel's JPGEnable is on
        AVIRecordStart, // only when the panel's AVIEnable is on
        AVIRecordStop,
        Log, // text = the line, without the panel's name
    } kind;
    Button button{};
    std::string text;
    int value = 0;

    bool operator==(const EventEffect&) const = default;
};

// Applies one effect on the panel. Returns false (or throws) when it failed,
// e.g. a picture that cannot be loaded: the parser then stops for this chunk
// and logs its error line, and the state changes after that step are not made.
using EffectSink = std::function<bool(const EventEffect&)>;

inline constexpr int kMaxSIPNumber = 255;
inline constexpr int kMaxTimeBeforeCall = 3600; // seconds; keeps the ring timer's interval in range

// The value of the first item with this key (the text up to and including
// "="), or nothing when the chunk does not contain the key. The value starts
// after the opening double quote and ends before the closing one, which is
// found as the character before the first CR within 40 characters; a line
// without that CR ends at the closing double quote (or the end of the line or
// chunk). Never reads past the chunk.
std::optional<std::string> readValue(std::string_view chunk, std::string_view key);

// The whole handling of one received chunk: logs it, then runs the settings
// parser and the event parser as its markers ask. Effects go to apply one by
// one; state is updated as the steps succeed. pathExeFile prefixes sound files.
void interpretChunk(std::string_view chunk, DoorState& state, const EffectSink& apply,
                    std::string_view pathExeFile = {});

// The same, collecting the effects on the assumption that every one succeeds.
std::vector<EventEffect> interpretChunk(std::string_view chunk, DoorState& state,
                                        std::string_view pathExeFile = {});

// The two parsers on their own, for a chunk already known to carry their marker.
void EventsParseSettings(std::string_view chunk, DoorState& state, const EffectSink& apply);
void EventsParseEvent(std::string_view chunk, DoorState& state, const EffectSink& apply,
                      std::string_view pathExeFile = {});

} // namespace doorphone
