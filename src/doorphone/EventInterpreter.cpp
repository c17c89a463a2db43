#include "doorphone/EventInterpreter.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace doorphone {

namespace {

// Thrown when the panel could not apply an effect: ends the running parser.
struct StepFailed {};

bool contains(std::string_view chunk, std::string_view what) {
    return chunk.find(what) != std::string_view::npos;
}

class Emitter {
public:
    explicit Emitter(const EffectSink& apply) : apply_(apply) {}

    void operator()(EventEffect effect) const {
        if (!apply_(effect)) throw StepFailed{};
    }
    void picture(Button button, const char* file) const {
        (*this)(EventEffect{EventEffect::Kind::SetPicture, button, file});
    }
    void simple(EventEffect::Kind kind) const { (*this)(EventEffect{kind, Button{}, {}}); }
    void log(std::string line) const {
        (*this)(EventEffect{EventEffect::Kind::Log, Button{}, std::move(line)});
    }

    // The error line of a parser: its own failure must not escape the guard.
    void errorLine(std::string line) const noexcept {
        try {
            apply_(EventEffect{EventEffect::Kind::Log, Button{}, std::move(line)});
        } catch (...) {
        }
    }

private:
    const EffectSink& apply_;
};

// A decimal integer: an optional sign and digits, nothing else, within 32 bits.
std::optional<std::int32_t> parseDecimal(std::string_view text) {
    const bool plus = !text.empty() && text.front() == '+';
    if (plus) text.remove_prefix(1);
    if (text.empty() || (plus && text.front() == '-')) return std::nullopt;
    std::int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace

std::optional<std::string> readValue(std::string_view chunk, std::string_view key) {
    const auto at = chunk.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    // The value starts after "=" and the opening double quote.
    const size_t start = at + key.size() + 1;
    if (start >= chunk.size()) return std::string();
    const std::string_view rest = chunk.substr(start);
    const std::string_view window = rest.substr(0, 40);
    if (const auto cr = window.find('\r'); cr != std::string_view::npos) {
        // The closing double quote stands right before the CR.
        return std::string(window.substr(0, cr == 0 ? 0 : cr - 1));
    }
    // A long value, or a line that ends without CR: up to the closing quote.
    auto end = rest.find('"');
    if (end == std::string_view::npos) end = rest.find_first_of("\r\n");
    if (end == std::string_view::npos) end = rest.size();
    return std::string(rest.substr(0, end));
}

void EventsParseSettings(std::string_view chunk, DoorState& state, const EffectSink& apply) {
    const Emitter emit(apply);
    try {
        emit.log("EVENTS: some settings apply.");
        if (contains(chunk, R"(SENSOR1_ENABLE="1")")) {
            state.sensor1_enable = true;
            emit.picture(Button::Lock1, "button_dvere1_otevrene_pasivni.png");
        }
        if (contains(chunk, R"(SENSOR2_ENABLE="1")")) {
            state.sensor2_enable = true;
            emit.picture(Button::Lock2, "button_dvere2_otevrene_pasivni.png");
        }
        if (auto name = readValue(chunk, "NET_HOSTNAME=")) {
            emit(EventEffect{EventEffect::Kind::SetCaption, Button{}, std::move(*name)});
        }
        if (auto number = readValue(chunk, "SIP_ACCOUNT_NAME=")) {
            if (number->size() > static_cast<size_t>(kMaxSIPNumber)) number->resize(kMaxSIPNumber);
            emit(EventEffect{EventEffect::Kind::SetSIPNumber, Button{}, std::move(*number)});
        }
        if (auto text = readValue(chunk, "TIME_BEFORE_CALL=")) {
            const auto seconds = parseDecimal(*text);
            if (!seconds) throw StepFailed{};
            // The device's number becomes a timer interval in milliseconds.
            const int clamped = std::clamp<std::int32_t>(*seconds, 0, kMaxTimeBeforeCall);
            emit(EventEffect{EventEffect::Kind::SetTimeBeforeCall, Button{}, {}, clamped});
        }
    } catch (...) {
        emit.errorLine("error 6468: TGuardPanel.EventsParseSettings mess: " + std::string(chunk));
    }
}

void EventsParseEvent(std::string_view chunk, DoorState& state, const EffectSink& apply,
                      std::string_view pathExeFile) {
    using K = EventEffect::Kind;
    const Emitter emit(apply);
    const std::string dialTone = std::string(pathExeFile) + "dialtone.wav";
    try {
        emit.log("EVENTS: some event arrived.");
        // Door contacts, only where the device has them configured.
        if (contains(chunk, R"(MESSAGE="1D1")") && state.sensor1_enable) {
            emit.picture(Button::Lock1, "button_dvere1_otevrene_pasivni.png");
            state.door1open = true;
        }
        if (contains(chunk, R"(MESSAGE="1D0")") && state.sensor1_enable) {
            emit.picture(Button::Lock1, "button_zamek1_maly.png");
            state.door1open = false;
        }
        if (contains(chunk, R"(MESSAGE="2D1")") && state.sensor2_enable) {
            emit.picture(Button::Lock2, "button_dvere2_otevrene_pasivni.png");
            state.door2open = true;
        }
        if (contains(chunk, R"(MESSAGE="2D0")") && state.sensor2_enable) {
            emit.picture(Button::Lock2, "button_zamek2_maly.png");
            state.door2open = false;
        }
        // Lock relays; an open door keeps its picture until it is closed.
        if (contains(chunk, R"(MESSAGE="1S1")") && !state.door1open) {
            emit.picture(Button::Lock1, "button_zamek1_maly_otevreny.png");
            emit(EventEffect{K::PlaySound, Button{}, dialTone});
        }
        if (contains(chunk, R"(MESSAGE="1S0")") && !state.door1open) {
            emit.picture(Button::Lock1, "button_zamek1_maly.png");
        }
        if (contains(chunk, R"(MESSAGE="2S1")") && !state.door2open) {
            emit.picture(Button::Lock2, "button_zamek2_maly_otevreny.png");
            emit(EventEffect{K::PlaySound, Button{}, dialTone});
        }
        if (contains(chunk, R"(MESSAGE="2S0")") && !state.door2open) {
            emit.picture(Button::Lock2, "button_zamek2_maly.png");
        }
        // Calls.
        const bool call = contains(chunk, R"(EVENT="CALL")");
        if (call && contains(chunk, R"(CALL="O")")) {
            emit.picture(Button::Vratnik, "button_Q7M_male_zvoni.png");
            emit.simple(K::PopUpActive);
        }
        if (call && contains(chunk, R"(CALL="I")")) {
            emit.picture(Button::Vratnik, "button_Q7M_male_zvoni.png");
            emit.picture(Button::IncomingCall, "button_telefon_maly_zvoni_odchozi_hovor.png");
            emit.simple(K::StopSound);
            emit.simple(K::Snapshot);
            emit.simple(K::AVIRecordStart);
        }
        if (call && contains(chunk, R"(CALL="")")) {
            emit.simple(K::StopSound);
            emit.picture(Button::Vratnik, "button_Q7M_male.png");
            emit.picture(Button::IncomingCall, "button_telefon_maly.png");
            state.InCallInProcess = false;
            state.OutCallInProcess = false;
            emit.simple(K::PopUpDeActive);
            emit.simple(K::AVIRecordStop);
        }
    } catch (...) {
        emit.errorLine("error 6464: TGuardPanel.EventsParseEvent mess: " + std::string(chunk));
    }
}

void interpretChunk(std::string_view chunk, DoorState& state, const EffectSink& apply,
                    std::string_view pathExeFile) {
    const Emitter emit(apply);
    try {
        emit.log("EVENTS: " + std::string(chunk));
        // Three independent tests: one chunk may run several parsers.
        if (contains(chunk, "[setting]")) EventsParseSettings(chunk, state, apply);
        if (contains(chunk, "[event]")) EventsParseEvent(chunk, state, apply, pathExeFile);
        if (contains(chunk, "[evstat]")) EventsParseEvent(chunk, state, apply, pathExeFile);
    } catch (...) {
        emit.errorLine("error 55313: TGuardPanel.EventsMessage");
    }
}

std::vector<EventEffect> interpretChunk(std::string_view chunk, DoorState& state,
                                        std::string_view pathExeFile) {
    std::vector<EventEffect> effects;
    interpretChunk(
        chunk, state,
        [&effects](const EventEffect& e) {
            effects.push_back(e);
            return true;
        },
        pathExeFile);
    return effects;
}

} // namespace doorphone
