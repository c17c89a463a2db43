#include "sip/LinphoneEvaluator.h"

#include <algorithm>

namespace {

constexpr size_t MaxCarry = 8192;

bool startsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}

std::string_view trimmed(std::string_view s) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A line of the client's output without its prompts and line end.
std::string_view bareLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    for (;;) {
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        if (!startsWith(line, sipfrag::Prompt)) return line;
        line.remove_prefix(sipfrag::Prompt.size());
    }
}

// "Call 3 with sip:door@... ended (Busy)." or "Call 3 to sip:... error.": the id, else nothing.
std::optional<std::string> endedCallId(std::string_view line) {
    if (!startsWith(line, "Call ")) return std::nullopt;
    std::string_view rest = line.substr(5);
    size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
        ++digits;
    if (digits == 0) return std::nullopt;
    const std::string id(rest.substr(0, digits));
    rest.remove_prefix(digits);
    if (!startsWith(rest, " with ") && !startsWith(rest, " to ")) return std::nullopt;
    const std::string_view end = trimmed(rest);
    const bool error = end.size() >= 7 && end.substr(end.size() - 7) == " error.";
    if (error || rest.find(" ended (") != std::string_view::npos) return id;
    return std::nullopt;
}

// Where a register command registers, for the report: "sip:" + the part after '@'.
std::string registrationTarget(std::string_view command) {
    std::string_view rest = trimmed(command.substr(std::string_view("register").size()));
    rest = rest.substr(0, rest.find(' '));
    const size_t at = rest.find('@');
    if (at != std::string_view::npos) return "sip:" + std::string(rest.substr(at + 1));
    return std::string(rest);
}

bool isCommand(std::string_view command, std::string_view word) {
    command = trimmed(command);
    return command == word || startsWith(command, std::string(word) + " ");
}

// Taking and ending a call cannot wait: the caller hears nothing meanwhile.
bool isUrgent(std::string_view command) {
    return isCommand(command, "answer") || isCommand(command, "terminate");
}

// From the fragment at p to the end of its line.
std::string lineFrom(const std::string& text, size_t p) {
    const size_t nl = text.find('\n', p);
    std::string_view line =
        std::string_view(text).substr(p, nl == std::string::npos ? std::string::npos : nl - p);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return std::string(line);
}

} // namespace

std::string CallIdFrom(std::string_view s) {
    const size_t p = s.find(sipfrag::AssignedId);
    if (p == std::string_view::npos) return {};
    size_t start = p + sipfrag::AssignedId.size();
    while (start < s.size() && s[start] == ' ')
        ++start;
    size_t end = start;
    while (end < s.size() && s[end] >= '0' && s[end] <= '9')
        ++end;
    // The client counts calls in an int: a longer run is no id.
    if (end - start > MaxCallIdDigits) return {};
    return std::string(s.substr(start, end - start));
}

// ---- secrets ----

std::string TSecretMasker::Mask(std::string_view piece) {
    std::string out(piece);
    size_t segStart = 0;
    while (segStart <= piece.size()) {
        const size_t nl = piece.find('\n', segStart);
        const size_t segEnd = nl == std::string_view::npos ? piece.size() : nl;
        const size_t before = line_.size();
        line_.append(piece.substr(segStart, segEnd - segStart));

        // Find the password field: the fourth word of a "register" line.
        const std::string_view line = line_;
        size_t lead = 0;
        for (;;) {
            while (lead < line.size() && line[lead] == ' ')
                ++lead;
            if (!startsWith(line.substr(lead), sipfrag::Prompt)) break;
            lead += sipfrag::Prompt.size();
        }
        if (startsWith(line.substr(lead), "register ")) {
            size_t pos = lead;
            int words = 0;
            while (pos < line.size() && words < 3) {
                while (pos < line.size() && line[pos] == ' ')
                    ++pos;
                if (pos >= line.size()) break;
                while (pos < line.size() && line[pos] != ' ')
                    ++pos;
                ++words;
            }
            while (pos < line.size() && line[pos] == ' ')
                ++pos;
            if (words == 3) {
                size_t end = line.size();
                if (end > pos && line[end - 1] == '\r') --end;
                for (size_t i = std::max(pos, before); i < end; ++i)
                    out[segStart + (i - before)] = '*';
            }
        }
        if (nl == std::string_view::npos) {
            if (line_.size() > MaxCarry) line_.erase(0, line_.size() - MaxCarry);
            break;
        }
        line_.clear();
        segStart = nl + 1;
    }
    return out;
}

std::string MaskSecrets(std::string_view text) {
    TSecretMasker masker;
    return masker.Mask(text);
}

// ---- finding fragments ----

TLinphoneEvaluator::Findings TLinphoneEvaluator::find(std::string_view piece) {
    Findings f;
    f.text = carry_;
    f.text.append(piece);
    const std::string& text = f.text;

    // First new occurrence of frag that is ready to act on; all ready ones are
    // marked handled, one that is not ready yet is looked at again next time.
    auto scan = [&](Frag k, std::string_view frag, auto ready, auto counts) {
        bool acted = false;
        size_t p = text.find(frag, seen_[k]);
        while (p != std::string::npos) {
            if (!ready(p)) {
                seen_[k] = p;
                return acted;
            }
            acted = acted || counts(p);
            seen_[k] = p + frag.size();
            p = text.find(frag, p + 1);
        }
        // A fragment cut at the end may still be completed by the next piece.
        const size_t tail = text.size() >= frag.size() ? text.size() - frag.size() + 1 : 0;
        seen_[k] = std::max(seen_[k], tail);
        return acted;
    };
    const auto always = [](size_t) { return true; };
    // Debian's "ended (Call terminated)." is a reason inside a line that names its call.
    const auto notAReason = [&](size_t p) { return p == 0 || text[p - 1] != '('; };
    // The call id follows the fragment on the same line: wait for all its
    // digits (ids grow for the life of the client).
    const auto idReady = [&](size_t p) {
        if (text.find('\n', p) != std::string::npos) return true;
        const size_t a = text.find(sipfrag::AssignedId, p);
        if (a == std::string::npos) return false;
        size_t i = a + sipfrag::AssignedId.size();
        while (i < text.size() && text[i] == ' ')
            ++i;
        const size_t digits = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i > digits && i < text.size();
    };
    // The first announcing line of each kind names the call it is about.
    const auto keepLine = [&text](std::string& line) {
        return [&text, kept = &line](size_t p) {
            if (kept->empty()) *kept = lineFrom(text, p);
            return true;
        };
    };

    f.ready = scan(FReady, sipfrag::Ready, always, always);
    const bool prompt = scan(FPrompt, sipfrag::Prompt, always, always);
    if (prompt && !started_) f.firstPrompt = true;
    if (prompt || f.ready) started_ = true;
    if (dialect_ == Dialect::Unknown) {
        if (prompt)
            dialect_ = Dialect::Debian;
        else if (f.ready)
            dialect_ = Dialect::Classic;
    }
    f.portFragment = scan(FPortTaken, sipfrag::PortTaken, always, always);
    f.callTerminated = scan(FCallTerminated, sipfrag::CallTerminated, always, notAReason);
    f.incoming = scan(FIncoming, sipfrag::Incoming, idReady, keepLine(f.incomingLine));
    f.registrationOn = scan(FRegistrationOn, sipfrag::RegistrationOn, always, always);
    f.unregistered = scan(FUnregistered, sipfrag::Unregistered, always, always);
    f.establishing = scan(FEstablishing, sipfrag::Establishing, idReady, keepLine(f.establishingLine));
    f.passwordPrompt = scan(FPassword, sipfrag::PasswordFor, always, always);
    if (f.passwordPrompt && reg_.where.empty()) {
        // "Password for 101 on 127.0.0.1: "
        const size_t p = text.rfind(sipfrag::PasswordFor);
        const size_t on = text.find(" on ", p);
        if (on != std::string::npos) {
            const size_t colon = text.find(':', on);
            if (colon != std::string::npos) reg_.where = "sip:" + text.substr(on + 4, colon - on - 4);
        }
    }

    // Complete lines are new: the carry never holds a line end.
    const size_t lastNl = text.rfind('\n');
    const size_t shift = lastNl == std::string::npos ? 0 : lastNl + 1;
    scanLines(std::string_view(text).substr(0, shift), f);

    carry_ = text.substr(shift);
    size_t drop = shift;
    if (carry_.size() > MaxCarry) {
        drop += carry_.size() - MaxCarry;
        carry_.erase(0, carry_.size() - MaxCarry);
    }
    for (auto& s : seen_)
        s = s > drop ? s - drop : 0;
    return f;
}

void TLinphoneEvaluator::scanLines(std::string_view text, Findings& f) {
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) nl = text.size();
        const std::string_view line = bareLine(text.substr(start, nl - start));
        start = nl + 1;
        if (!f.portLine && line.find(sipfrag::BindFailed) != std::string_view::npos &&
            line.find("port 5060:") != std::string_view::npos &&
            line.find("Address already in use") != std::string_view::npos)
            f.portLine = std::string(trimmed(line));
        if (auto id = endedCallId(line)) f.endedIds.push_back(*id);
        if (startsWith(line, "registered, identity="))
            f.status.push_back(StatusAnswer::Registered);
        else if (startsWith(line, "registered="))
            f.status.push_back(StatusAnswer::NotRegistered);
    }
}

// ---- applying ----

void TLinphoneEvaluator::send(const std::string& cmd, SipActions& out) {
    if (!holding()) {
        out.push_back({SipAction::Kind::Send, cmd});
    } else if (isUrgent(cmd)) {
        // The client waits for a password: an empty one first, so the
        // command is not taken as the password.
        if (reg_.awaitingPassword) sendNow("", out);
        sendNow(cmd, out);
    } else {
        held_.push_back(cmd);
    }
}

void TLinphoneEvaluator::sendNow(const std::string& cmd, SipActions& out) {
    reg_.awaitingPassword = false; // any line answers an open password question
    out.push_back({SipAction::Kind::Send, cmd});
}

bool TLinphoneEvaluator::dropHeldCall() {
    const auto before = held_.size();
    std::erase_if(held_, [](const std::string& c) { return isCommand(c, "call"); });
    return held_.size() != before;
}

int TLinphoneEvaluator::RingTimeMs() const {
    // The waiting time comes from a device: keep the interval sane.
    const int seconds = std::clamp(TimeBeforeCall, 0, 3600);
    return seconds * 1000 + std::max(0, timings.ringExtraMs);
}

SipActions TLinphoneEvaluator::Evaluate(std::string_view piece) {
    SipActions out;
    if (pending_) out = AnswerIncomingCall(false);
    Findings f = find(piece);
    applyFirst(f, out);
    if (f.incoming) {
        pending_ = std::move(f);
        return out;
    }
    applyRest(f, out);
    return out;
}

void TLinphoneEvaluator::applyFirst(const Findings& f, SipActions& out) {
    using K = SipAction::Kind;
    if (f.ready || f.firstPrompt) out.push_back({K::RaiseInitializationSuccesful, {}});
    if (f.portFragment || f.portLine) {
        // Debian's client says it only as a bind failure; the window looks for the classic words.
        const std::string text = f.portFragment ? f.text : std::string(sipfrag::PortTaken) + "\n" + f.text;
        out.push_back({K::RaiseError, text});
        out.push_back({K::Log, "Error 99: \"" + std::string(sipfrag::PortTaken) + "\" "});
    }
    if (f.callTerminated) OutCallInProcess = InCallInProcess = false;
    for (const auto& id : f.endedIds) {
        // Only the end of the current call makes the desk idle: the end of a call
        // that was replaced or refused must not clear the flags of the new one.
        const std::string_view current = trimmed(CallID_connected);
        if (current.empty() || current == id) OutCallInProcess = InCallInProcess = false;
    }
    if (f.incoming) {
        out.push_back({K::RaiseIncomingCall, {}});
        out.push_back({K::PlayRing, {}});
        CallID_ringing = CallIdFrom(f.incomingLine);
        out.push_back({K::StartRingTimer, {}, RingTimeMs()});
        out.push_back({K::AskIncomingCall, {}});
    }
}

SipActions TLinphoneEvaluator::AnswerIncomingCall(bool yes, bool byRingTimer) {
    using K = SipAction::Kind;
    SipActions out;
    if (!pending_) return out;
    const Findings f = std::move(*pending_);
    pending_.reset();
    out.push_back({K::StopRingTimer, {}});
    if (yes) {
        if (InCallInProcess || OutCallInProcess) {
            // A call still held back never reached the client: it is dropped instead.
            if (!dropHeldCall()) send("terminate " + CallID_connected, out);
            InCallInProcess = OutCallInProcess = false;
        }
        out.push_back({K::RaiseIncomingCallAcepted, f.incomingLine});
        InCallInProcess = true;
        for (auto& a : AnswerButton())
            out.push_back(std::move(a));
        CallID_connected = CallID_ringing;
        CallID_ringing.clear();
    } else {
        if (!byRingTimer) out.push_back({K::StopSound, {}});
        send("terminate " + CallID_ringing, out);
        CallID_ringing.clear();
        InCallInProcess = false;
    }
    applyRest(f, out);
    return out;
}

void TLinphoneEvaluator::applyRest(const Findings& f, SipActions& out) {
    using K = SipAction::Kind;
    if (f.registrationOn) {
        if (f.text.find(sipfrag::Successful) != std::string::npos) SIPSucessfulyregistered = true;
        out.push_back({K::RaiseSIPEvent, f.text});
        if (reg_.phase == RegPhase::Registering) finishRegistration(out);
    }
    applyRegistration(f, out);
    if (f.unregistered) {
        SIPSucessfulyregistered = false;
        if (reg_.phase == RegPhase::Unregistering) finishRegistration(out);
    }
    if (f.establishing) CallID_connected = CallIdFrom(f.establishingLine);
}

void TLinphoneEvaluator::applyRegistration(const Findings& f, SipActions& out) {
    using K = SipAction::Kind;
    if (f.passwordPrompt) {
        // The client now takes the next input line as a password. Answer it with
        // an empty line; keep every other command back until a "status register"
        // is answered again, so none is eaten as a password.
        if (reg_.phase == RegPhase::Idle) {
            reg_.phase = RegPhase::Registering;
            reg_.tries = 0;
            out.push_back({K::SchedulePoll, {}, timings.registrationPollMs});
        }
        reg_.promptSeen = true;
        if (!reg_.answered) {
            reg_.answered = true;
            out.push_back({K::Log, "the client asks for a password: answered with an empty line"});
            sendNow("", out);
        } else {
            reg_.awaitingPassword = true; // it asks again: the next line is taken as the password
        }
        if (reg_.phase == RegPhase::Registering && !reg_.failureReported) reportRegistration(false, out);
    }
    for (const auto s : f.status) {
        if (reg_.phase == RegPhase::Registering) {
            if (s == StatusAnswer::Registered) {
                if (!reg_.failureReported) reportRegistration(true, out);
                finishRegistration(out);
            } else if (reg_.promptSeen) {
                finishRegistration(out);
            }
        } else if (reg_.phase == RegPhase::Unregistering && s == StatusAnswer::NotRegistered) {
            SIPSucessfulyregistered = false;
            finishRegistration(out);
        }
    }
}

void TLinphoneEvaluator::reportRegistration(bool ok, SipActions& out) {
    using K = SipAction::Kind;
    const std::string text = std::string(sipfrag::RegistrationOn) + " " +
                             (reg_.where.empty() ? "sip:" : reg_.where) + (ok ? " successful." : " failed.");
    if (ok)
        SIPSucessfulyregistered = true;
    else
        reg_.failureReported = true;
    out.push_back({K::Log, text});
    out.push_back({K::RaiseSIPEvent, text});
}

void TLinphoneEvaluator::finishRegistration(SipActions& out) {
    reg_ = {};
    out.push_back({SipAction::Kind::CancelPoll, {}});
    while (!held_.empty()) {
        out.push_back({SipAction::Kind::Send, held_.front()});
        held_.pop_front();
    }
}

// ---- commands ----

SipActions TLinphoneEvaluator::Command(const std::string& command) {
    SipActions out;
    const bool reg = isCommand(command, "register");
    const bool unreg = isCommand(command, "unregister");
    if ((reg || unreg) && reg_.phase != RegPhase::Idle) finishRegistration(out);
    // A line that starts with a blank stays out of the client's command
    // history, which would otherwise keep the password in a file.
    send(reg ? " " + std::string(trimmed(command)) : command, out);
    if ((reg || unreg) && dialect_ != Dialect::Classic) {
        // Debian's client reports neither outcome: ask it until it answers.
        reg_ = {};
        reg_.phase = reg ? RegPhase::Registering : RegPhase::Unregistering;
        if (reg) reg_.where = registrationTarget(trimmed(command));
        out.push_back({SipAction::Kind::SchedulePoll, {}, timings.registrationPollMs});
    }
    return out;
}

SipActions TLinphoneEvaluator::PollDue() {
    SipActions out;
    if (reg_.phase == RegPhase::Idle) return out;
    if (dialect_ == Dialect::Classic) {
        finishRegistration(out); // that client reports for itself
        return out;
    }
    if (reg_.tries >= timings.registrationPollTries) {
        if (reg_.phase == RegPhase::Registering && !reg_.failureReported) reportRegistration(false, out);
        finishRegistration(out);
        return out;
    }
    ++reg_.tries;
    if (dialect_ == Dialect::Debian) sendNow("status register", out);
    out.push_back({SipAction::Kind::SchedulePoll, {}, timings.registrationPollMs});
    return out;
}

SipActions TLinphoneEvaluator::CallButton() {
    SipActions out{{SipAction::Kind::StopSound, {}}};
    if (InCallInProcess) {
        send("terminate", out);
        InCallInProcess = false;
    } else if (OutCallInProcess) {
        // A call still held back never reached the client: it is dropped instead.
        if (!dropHeldCall()) send("terminate", out);
        OutCallInProcess = false;
    } else {
        // The form of the call follows the registration state alone.
        if (SIPSucessfulyregistered)
            send("call " + CallPrefix + SIPaddres.substr(0, 255), out);
        else
            send("call sip:YOXPanel@" + vratnikIP.substr(0, 255), out);
        OutCallInProcess = true;
    }
    return out;
}

SipActions TLinphoneEvaluator::AnswerButton() {
    SipActions out{{SipAction::Kind::StopSound, {}}};
    send("answer", out);
    return out;
}
