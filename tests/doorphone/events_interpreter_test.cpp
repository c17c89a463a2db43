// What a chunk from the events channel does to a panel: which parsers run,
// which pictures, sounds and hooks follow, in which order, and how a failing
// step ends its parser.
#include "doorphone/EventInterpreter.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

using doorphone::Button;
using doorphone::DoorState;
using doorphone::EventEffect;
using doorphone::interpretChunk;
using doorphone::readValue;

namespace {

using namespace std::string_literals;
using Kind = EventEffect::Kind;

const char* buttonName(Button b) {
    switch (b) {
    case Button::Vratnik:
        return "Vratnik";
    case Button::Camera:
        return "Camera";
    case Button::IncomingCall:
        return "Call";
    case Button::Lock1:
        return "Lock1";
    case Button::Lock2:
        return "Lock2";
    }
    return "?";
}

// One effect as a short line, so that expectations read like the panel's script.
std::string show(const EventEffect& e) {
    switch (e.kind) {
    case Kind::SetPicture:
        return std::string(buttonName(e.button)) + "=" + e.text;
    case Kind::SetCaption:
        return "caption=" + e.text;
    case Kind::SetSIPNumber:
        return "sip=" + e.text;
    case Kind::SetTimeBeforeCall:
        return "time=" + std::to_string(e.value);
    case Kind::PlaySound:
        return "play=" + e.text;
    case Kind::StopSound:
        return "stop-sound";
    case Kind::PopUpActive:
        return "popup";
    case Kind::PopUpDeActive:
        return "popdown";
    case Kind::Snapshot:
        return "snapshot";
    case Kind::AVIRecordStart:
        return "avi-start";
    case Kind::AVIRecordStop:
        return "avi-stop";
    case Kind::Log:
        return "log:" + e.text;
    }
    return "?";
}

// Everything after the first line, which always logs the whole chunk.
std::vector<std::string> showAfterChunkLog(const std::vector<EventEffect>& effects) {
    std::vector<std::string> out;
    for (size_t i = 1; i < effects.size(); ++i)
        out.push_back(show(effects[i]));
    return out;
}

const std::string kSettings = "log:EVENTS: some settings apply.";
const std::string kEvent = "log:EVENTS: some event arrived.";
const std::string kDialTone = "play=dialtone.wav";
const std::string kCallIn[] = {"Vratnik=button_Q7M_male_zvoni.png",
                               "Call=button_telefon_maly_zvoni_odchozi_hovor.png", "stop-sound", "snapshot",
                               "avi-start"};
const std::string kCallEnd[] = {"stop-sound", "Vratnik=button_Q7M_male.png", "Call=button_telefon_maly.png",
                                "popdown", "avi-stop"};

DoorState withSensors(bool s1, bool s2, bool d1 = false, bool d2 = false) {
    DoorState s;
    s.sensor1_enable = s1;
    s.sensor2_enable = s2;
    s.door1open = d1;
    s.door2open = d2;
    return s;
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
std::vector<std::string> callIn() {
    return {std::begin(kCallIn), std::end(kCallIn)};
}
std::vector<std::string> callEnd() {
    return {std::begin(kCallEnd), std::end(kCallEnd)};
}

struct ChunkCase {
    const char* name;
    DoorState before;
    std::string chunk;
    std::vector<std::string> effects; // after the chunk's own log line
    DoorState after;
};

bool sameState(const DoorState& a, const DoorState& b) {
    return a.sensor1_enable == b.sensor1_enable && a.sensor2_enable == b.sensor2_enable &&
           a.door1open == b.door1open && a.door2open == b.door2open &&
           a.OutCallInProcess == b.OutCallInProcess && a.InCallInProcess == b.InCallInProcess;
}

std::string bigChunk() {
    // A full receive buffer: the marker, binary filler and an item at its end.
    std::string chunk = "[setting]\r\n";
    while (chunk.size() < 50001 - 24)
        chunk += static_cast<char>(0x80 + chunk.size() % 100);
    chunk += "NET_HOSTNAME=\"Gate\"\r\n";
    chunk.resize(50001, '\n');
    return chunk;
}

std::vector<ChunkCase> chunkCases() {
    DoorState calling;
    calling.InCallInProcess = calling.OutCallInProcess = true;
    const std::string longNumber(300, '7');
    return {
        {"no marker: only the chunk is logged", {}, "HTTP/1.1 200 OK\r\nMESSAGE=\"1S1\"\r\n", {}, {}},
        {"markers and items are case sensitive",
         {},
         "[EVENT]\r\n[Setting]\r\n[event]\r\nmessage=\"1s1\"\r\nEVENT=\"call\"\r\nCALL=\"O\"\r\n",
         {kEvent},
         {}},
        {"setting then event: the sensor enabled first makes the door contact count",
         {},
         "[event]\r\nMESSAGE=\"1D1\"\r\n[setting]\r\nSENSOR1_ENABLE=\"1\"\r\n",
         {kSettings, "Lock1=button_dvere1_otevrene_pasivni.png", kEvent,
          "Lock1=button_dvere1_otevrene_pasivni.png"},
         withSensors(true, false, true)},
        {"settings: every item in order",
         {},
         "[setting]\r\nSENSOR2_ENABLE=\"1\"\r\nSENSOR1_ENABLE=\"1\"\r\nTIME_BEFORE_CALL=\"40\"\r\n"
         "SIP_ACCOUNT_NAME=\"1001\"\r\nNET_HOSTNAME=\"Front door\"\r\n",
         {kSettings, "Lock1=button_dvere1_otevrene_pasivni.png", "Lock2=button_dvere2_otevrene_pasivni.png",
          "caption=Front door", "sip=1001", "time=40"},
         withSensors(true, true)},
        {"a sensor value other than 1 changes nothing and an enabled sensor stays enabled",
         withSensors(true, false),
         "[setting]\r\nSENSOR1_ENABLE=\"0\"\r\nSENSOR2_ENABLE=\"yes\"\r\n",
         {kSettings},
         withSensors(true, false)},
        {"an empty device name empties the caption",
         {},
         "[setting]\r\nNET_HOSTNAME=\"\"\r\n",
         {kSettings, "caption="},
         {}},
        {"a SIP number is cut to 255 characters",
         {},
         "[setting]\r\nSIP_ACCOUNT_NAME=\"" + longNumber + "\"\r\n",
         {kSettings, "sip=" + longNumber.substr(0, 255)},
         {}},
        {"a waiting time that is not a number: earlier steps stay, the error line carries the chunk",
         {},
         "[setting]\r\nNET_HOSTNAME=\"Gate\"\r\nTIME_BEFORE_CALL=\"2x\"\r\n",
         {kSettings, "caption=Gate",
          "log:error 6468: TGuardPanel.EventsParseSettings mess: [setting]\r\nNET_HOSTNAME=\"Gate\"\r\n"
          "TIME_BEFORE_CALL=\"2x\"\r\n"},
         {}},
        {"a waiting time above an hour is clamped",
         {},
         "[setting]\r\nTIME_BEFORE_CALL=\"99999\"\r\n",
         {kSettings, "time=3600"},
         {}},
        {"a negative waiting time is clamped to zero",
         {},
         "[setting]\r\nTIME_BEFORE_CALL=\"-5\"\r\n",
         {kSettings, "time=0"},
         {}},
        {"a waiting time beyond 32 bits is not a number",
         {},
         "[setting]\r\nTIME_BEFORE_CALL=\"2147483648\"\r\n",
         {kSettings, "log:error 6468: TGuardPanel.EventsParseSettings mess: [setting]\r\n"
                     "TIME_BEFORE_CALL=\"2147483648\"\r\n"},
         {}},
        {"a key at the very end has an empty value",
         {},
         "[setting]\r\nNET_HOSTNAME=",
         {kSettings, "caption="},
         {}},
        {"without door contacts the D codes change nothing and every S code acts",
         {},
         "[event]\r\nMESSAGE=\"1D1\"\r\nMESSAGE=\"2D1\"\r\nMESSAGE=\"1S1\"\r\nMESSAGE=\"2S1\"\r\n",
         {kEvent, "Lock1=button_zamek1_maly_otevreny.png", kDialTone, "Lock2=button_zamek2_maly_otevreny.png",
          kDialTone},
         {}},
        {"a relay opening and closing in one chunk ends on the closed picture",
         {},
         "[event]\r\nMESSAGE=\"1S1\"\r\nMESSAGE=\"1S0\"\r\n",
         {kEvent, "Lock1=button_zamek1_maly_otevreny.png", kDialTone, "Lock1=button_zamek1_maly.png"},
         {}},
        {"relay 2 back", {}, "[event]\r\nMESSAGE=\"2S0\"\r\n", {kEvent, "Lock2=button_zamek2_maly.png"}, {}},
        {"door 1 open hides relay 1 reports",
         withSensors(true, false, true),
         "[event]\r\nMESSAGE=\"1S1\"\r\n",
         {kEvent},
         withSensors(true, false, true)},
        {"door open and relay in one chunk: the open door wins, no tone",
         withSensors(true, false),
         "[event]\r\nMESSAGE=\"1D1\"\r\nMESSAGE=\"1S1\"\r\n",
         {kEvent, "Lock1=button_dvere1_otevrene_pasivni.png"},
         withSensors(true, false, true)},
        {"door 2 closed again lets relay 2 act in the same chunk",
         withSensors(false, true, false, true),
         "[event]\r\nMESSAGE=\"2S1\"\r\nMESSAGE=\"2D0\"\r\n",
         {kEvent, "Lock2=button_zamek2_maly.png", "Lock2=button_zamek2_maly_otevreny.png", kDialTone},
         withSensors(false, true)},
        {"door 2 opens",
         withSensors(false, true),
         "[evstat]\r\nMESSAGE=\"2D1\"\r\n",
         {kEvent, "Lock2=button_dvere2_otevrene_pasivni.png"},
         withSensors(false, true, false, true)},
        {"door 1 closes",
         withSensors(true, false, true),
         "[event]\r\nMESSAGE=\"1D0\"\r\n",
         {kEvent, "Lock1=button_zamek1_maly.png"},
         withSensors(true, false)},
        {"a visitor rings",
         {},
         "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n",
         {kEvent, "Vratnik=button_Q7M_male_zvoni.png", "popup"},
         {}},
        {"a call value without the call event does nothing",
         {},
         "[event]\r\nCALL=\"O\"\r\nCALL=\"\"\r\n",
         {kEvent},
         {}},
        {"the door phone takes the desk's call",
         {},
         "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"I\"\r\n",
         concat({{kEvent}, callIn()}),
         {}},
        {"event and evstat run the event parser twice",
         {},
         "[event]\r\n[evstat]\r\nEVENT=\"CALL\"\r\nCALL=\"I\"\r\n",
         concat({{kEvent}, callIn(), {kEvent}, callIn()}),
         {}},
        {"event and evstat play the relay tone twice",
         {},
         "[event]\r\n[evstat]\r\nMESSAGE=\"2S1\"\r\n",
         {kEvent, "Lock2=button_zamek2_maly_otevreny.png", kDialTone, kEvent,
          "Lock2=button_zamek2_maly_otevreny.png", kDialTone},
         {}},
        {"the end of a call resets the pictures and the call flags",
         calling,
         "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"\"\r\n",
         concat({{kEvent}, callEnd()}),
         {}},
        {"binary bytes around the items do not disturb them",
         withSensors(true, false),
         "\x01\xff[event]\0\r\nMESSAGE=\"1D1\"\r\n\x7f"s,
         {kEvent, "Lock1=button_dvere1_otevrene_pasivni.png"},
         withSensors(true, false, true)},
        {"a full 50001-byte chunk with its item at the end", {}, bigChunk(), {kSettings, "caption=Gate"}, {}},
    };
}

TEST(EventInterpreter, ChunkTable) {
    for (const auto& c : chunkCases()) {
        SCOPED_TRACE(c.name);
        DoorState state = c.before;
        const auto effects = interpretChunk(c.chunk, state);
        ASSERT_FALSE(effects.empty());
        EXPECT_EQ(show(effects[0]), "log:EVENTS: " + c.chunk);
        EXPECT_EQ(showAfterChunkLog(effects), c.effects);
        EXPECT_TRUE(sameState(state, c.after));
    }
}

TEST(EventInterpreter, DialToneGetsThePathPrefix) {
    DoorState state;
    const auto effects = interpretChunk("[event]\r\nMESSAGE=\"1S1\"\r\n", state, "sounds/");
    ASSERT_EQ(effects.size(), 4u);
    EXPECT_EQ(show(effects[3]), "play=sounds/dialtone.wav");
}

TEST(EventInterpreter, ReadValueTable) {
    struct Case {
        std::string chunk;
        const char* key;
        std::optional<std::string> value;
    };
    const std::string v38(38, 'a'), v39(39, 'b'), v60(60, 'c');
    const Case cases[] = {
        {"K=\"abc\"\r\n", "K=", "abc"},
        {"x\r\nK=\"\"\r\n", "K=", ""},
        {"K=\"abc\"\n", "K=", "abc"},         // line without CR: up to the closing quote
        {"K=\"abc\"", "K=", "abc"},           // the chunk's last line
        {"K=\"" + v38 + "\"\r\n", "K=", v38}, // CR at the 40th character
        {"K=\"" + v39 + "\"\r\n", "K=", v39}, // CR beyond the 40 characters
        {"K=\"" + v60 + "\"\r\n", "K=", v60},
        {"K=\"abc", "K=", "abc"},   // neither quote nor line end: the rest of the chunk
        {"K=\"ab\ncd", "K=", "ab"}, // no closing quote: up to the line end
        {"K=", "K=", ""},           // key at the very end
        {"K=\"", "K=", ""},
        {"K=\"\r\n", "K=", ""},                           // CR right after the opening quote
        {"K=\"1\"\r\nK=\"2\"\r\n", "K=", "1"},            // the first occurrence counts
        {"K=\"abc\"\nL=\"d\"\r\n", "K=", "abc\"\nL=\"d"}, // a CR within the 40 characters ends the value
        {"L=\"abc\"\r\n", "K=", std::nullopt},
        {"k=\"abc\"\r\n", "K=", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chunk);
        EXPECT_EQ(readValue(c.chunk, c.key), c.value);
    }
}

// A panel that fails to apply chosen effects, as when a picture cannot be loaded.
struct FailingPanel {
    std::vector<std::string> applied;
    std::vector<std::string> failOnce; // effects (as shown) that fail the first time
    bool throwInstead = false;

    doorphone::EffectSink sink() {
        return [this](const EventEffect& e) {
            const std::string s = show(e);
            for (auto it = failOnce.begin(); it != failOnce.end(); ++it) {
                if (*it == s) {
                    failOnce.erase(it);
                    if (throwInstead) throw std::runtime_error("cannot load");
                    return false;
                }
            }
            applied.push_back(s);
            return true;
        };
    }
};

TEST(EventInterpreter, FailingStepEndsOnlyItsParserAndLeavesLaterStateUnchanged) {
    for (bool throwing : {false, true}) {
        SCOPED_TRACE(throwing ? "throws" : "returns false");
        // Door 1 opens but its picture fails in the first run: door1open stays
        // false there, so the relay still acts; the [evstat] run then succeeds.
        const std::string chunk = "[event][evstat]\r\nMESSAGE=\"1D1\"\r\nMESSAGE=\"1S1\"\r\n";
        FailingPanel panel;
        panel.failOnce = {"Lock1=button_dvere1_otevrene_pasivni.png"};
        panel.throwInstead = throwing;
        DoorState state = withSensors(true, false);
        interpretChunk(chunk, state, panel.sink());
        const std::vector<std::string> expected = {
            "log:EVENTS: " + chunk, kEvent, "log:error 6464: TGuardPanel.EventsParseEvent mess: " + chunk,
            kEvent, "Lock1=button_dvere1_otevrene_pasivni.png"};
        EXPECT_EQ(panel.applied, expected);
        EXPECT_TRUE(state.door1open);
    }
}

TEST(EventInterpreter, FailingSettingsStepStillLetsTheEventParserRun) {
    const std::string chunk = "[setting]\r\nSENSOR1_ENABLE=\"1\"\r\nNET_HOSTNAME=\"Gate\"\r\n[event]"
                              "\r\nEVENT=\"CALL\"\r\nCALL=\"\"\r\n";
    FailingPanel panel;
    panel.failOnce = {"Lock1=button_dvere1_otevrene_pasivni.png"};
    DoorState state;
    state.InCallInProcess = true;
    interpretChunk(chunk, state, panel.sink());
    // The flag is set before the picture, so it stays; the caption step never comes.
    EXPECT_TRUE(state.sensor1_enable);
    const auto expected = concat({{"log:EVENTS: " + chunk, kSettings,
                                   "log:error 6468: TGuardPanel.EventsParseSettings mess: " + chunk, kEvent},
                                  callEnd()});
    EXPECT_EQ(panel.applied, expected);
    EXPECT_FALSE(state.InCallInProcess);
}

TEST(EventInterpreter, CallEndFailingPictureKeepsTheCallFlags) {
    FailingPanel panel;
    panel.failOnce = {"Call=button_telefon_maly.png"};
    DoorState state;
    state.OutCallInProcess = true;
    interpretChunk("[event]\r\nEVENT=\"CALL\"\r\nCALL=\"\"\r\n", state, panel.sink());
    EXPECT_TRUE(state.OutCallInProcess);
    ASSERT_GE(panel.applied.size(), 2u);
    EXPECT_EQ(panel.applied.back().rfind("log:error 6464: TGuardPanel.EventsParseEvent mess: ", 0), 0u);
}

TEST(EventInterpreter, FailureLoggingTheChunkEndsTheHandling) {
    const std::string chunk = "[event]\r\nEVENT=\"CALL\"\r\nCALL=\"O\"\r\n";
    FailingPanel panel;
    panel.failOnce = {"log:EVENTS: " + chunk};
    panel.throwInstead = true;
    DoorState state;
    interpretChunk(chunk, state, panel.sink());
    EXPECT_EQ(panel.applied, std::vector<std::string>{"log:error 55313: TGuardPanel.EventsMessage"});
}

} // namespace
