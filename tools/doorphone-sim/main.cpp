// doorphone-sim: one simulated door phone on a loopback address, driven by
// commands on standard input (one a line). See usage() for the options.
#include "doorphone-sim/Simulator.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void usage(std::ostream& out) {
    out << "usage: doorphone-sim [--address A] [--port P] [--name N] [--sip S] [--time-before-call T]\n"
           "                     [--sensor1] [--sensor2] [--user U --password P] [--size WxH] [--fps F]\n"
           "                     [--relay-hold MS]\n"
           "Listens on a loopback address only (127.0.0.0/8). Commands on stdin, one a line:\n"
           "  ring | call | hangup | door1 open|close | door2 open|close | relay1 | relay2\n"
           "  silent on|off | evstat on|off | drop | forget | http stop|start | status | quit\n"
           "  (forget: abandon every open connection without closing it, as a reboot does)\n";
}

std::optional<int> number(const std::string& s, int lo, int hi) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || errno || v < lo || v > hi) return std::nullopt;
    return static_cast<int>(v);
}

bool loopbackAddress(const std::string& a) {
    in_addr addr{};
    return ::inet_pton(AF_INET, a.c_str(), &addr) == 1 && (ntohl(addr.s_addr) >> 24) == 127;
}

// Runs one command line; returns the answer to print. Sets quit for "quit".
std::string command(doorphonesim::Simulator& sim, const std::string& line, bool& quit) {
    std::istringstream in(line);
    std::string verb, arg, extra;
    in >> verb >> arg >> extra;
    if (verb.empty()) return "";
    if (!extra.empty()) return "error: too many words";
    auto onOff = [&](auto fn) -> std::string {
        if (arg != "on" && arg != "off") return "error: " + verb + " needs on or off";
        fn(arg == "on");
        return "ok";
    };
    auto noArg = [&](auto fn) -> std::string {
        if (!arg.empty()) return "error: " + verb + " takes no argument";
        fn();
        return "ok";
    };
    if (verb == "ring") return noArg([&] { sim.ring(); });
    if (verb == "call") return noArg([&] { sim.deskCall(); });
    if (verb == "hangup") return noArg([&] { sim.hangUp(); });
    if (verb == "relay1") return noArg([&] { sim.pulseRelay(1); });
    if (verb == "relay2") return noArg([&] { sim.pulseRelay(2); });
    if (verb == "drop") return noArg([&] { sim.dropConnections(); });
    if (verb == "forget") return noArg([&] { sim.forgetConnections(); });
    if (verb == "quit") return noArg([&] { quit = true; });
    if (verb == "door1" || verb == "door2") {
        if (arg != "open" && arg != "close") return "error: " + verb + " needs open or close";
        sim.door(verb == "door1" ? 1 : 2, arg == "open");
        return "ok";
    }
    if (verb == "silent") return onOff([&](bool on) { sim.setSilent(on); });
    if (verb == "evstat") return onOff([&](bool on) { sim.setEventsKind(on ? "[evstat]" : "[event]"); });
    if (verb == "http") {
        if (arg == "stop") {
            sim.stop();
            return "ok";
        }
        if (arg == "start")
            return sim.start() ? "ok" : "error: cannot listen on port " + std::to_string(sim.port());
        return "error: http needs stop or start";
    }
    if (verb == "status") {
        if (!arg.empty()) return "error: status takes no argument";
        std::ostringstream s;
        s << "ok http=" << (sim.running() ? "up" : "down") << " call=" << (sim.callActive() ? 1 : 0)
          << " video=" << sim.videoConnections() << " events=" << sim.eventsConnections()
          << " frames=" << sim.framesSent() << " locks=" << sim.lockRequests().size();
        return s.str();
    }
    return "error: unknown command '" + verb + "'";
}

} // namespace

int main(int argc, char** argv) {
    doorphonesim::Config cfg;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        std::optional<std::string> v;
        bool ok = true;
        if (opt == "--help" || opt == "-h") {
            usage(std::cout);
            return 0;
        } else if (opt == "--sensor1") {
            cfg.sensor1 = true;
        } else if (opt == "--sensor2") {
            cfg.sensor2 = true;
        } else if (!(v = value())) {
            ok = false;
        } else if (opt == "--address") {
            cfg.address = *v;
        } else if (opt == "--port") {
            auto p = number(*v, 0, 65535);
            ok = p.has_value();
            if (ok) cfg.port = static_cast<uint16_t>(*p);
        } else if (opt == "--name") {
            cfg.name = *v;
        } else if (opt == "--sip") {
            cfg.sipAccount = *v;
        } else if (opt == "--time-before-call") {
            cfg.timeBeforeCall = *v;
        } else if (opt == "--user") {
            cfg.user = *v;
        } else if (opt == "--password") {
            cfg.password = *v;
        } else if (opt == "--size") {
            const auto x = v->find('x');
            auto w = x == std::string::npos ? std::nullopt : number(v->substr(0, x), 8, 4096);
            auto h = x == std::string::npos ? std::nullopt : number(v->substr(x + 1), 8, 4096);
            ok = w && h;
            if (ok) cfg.width = *w, cfg.height = *h;
        } else if (opt == "--fps") {
            auto f = number(*v, 1, 100);
            ok = f.has_value();
            if (ok) cfg.fps = *f;
        } else if (opt == "--relay-hold") {
            auto ms = number(*v, 0, 600000);
            ok = ms.has_value();
            if (ok) cfg.relayHoldMs = *ms;
        } else {
            ok = false;
        }
        if (!ok) {
            std::cerr << "doorphone-sim: bad option or value: " << opt << "\n";
            usage(std::cerr);
            return 2;
        }
    }
    // The simulator must never be reachable from another machine.
    if (!loopbackAddress(cfg.address)) {
        std::cerr << "doorphone-sim: refusing address " << cfg.address
                  << ": only loopback addresses (127.0.0.0/8) are allowed\n";
        return 2;
    }

    // Termination signals are read from a descriptor beside stdin; blocked
    // before any thread starts so that every thread inherits the mask.
    sigset_t sigs;
    sigemptyset(&sigs);
    sigaddset(&sigs, SIGTERM);
    sigaddset(&sigs, SIGINT);
    sigaddset(&sigs, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int sfd = ::signalfd(-1, &sigs, SFD_CLOEXEC);

    doorphonesim::Simulator sim(cfg);
    if (!sim.start()) {
        std::cerr << "doorphone-sim: cannot listen on " << cfg.address << ":" << cfg.port << "\n";
        return 1;
    }
    std::cout << "doorphone-sim listening on " << cfg.address << ":" << sim.port() << std::endl;

    std::string pending;
    bool quit = false;
    while (!quit) {
        pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {sfd, POLLIN, 0}};
        if (::poll(p, sfd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (sfd >= 0 && (p[1].revents & POLLIN)) break;
        if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buf[1024];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // end of input
        pending.append(buf, static_cast<size_t>(n));
        size_t nl;
        while (!quit && (nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::string answer = command(sim, line, quit);
            if (!answer.empty()) std::cout << answer << std::endl;
        }
    }
    sim.stop();
    if (sfd >= 0) ::close(sfd);
    return 0;
}
