#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

// Helpers for the tests that start SIP clients.
namespace siptest {

// True when this process may start clients and kill them by name: it runs in
// a private loopback-only network and PID namespace (scripts/in-netns.sh, or
// the re-start under unshare that this file does for root).
bool isolated();

// The scripted stand-in, put first on PATH as "linphonec".
struct StandIn {
    explicit StandIn(const std::string& script);
    std::string dir;
    std::vector<std::string> commands() const; // lines received so far
    void say(const std::string& text) const;   // printed by the stand-in at once
    pid_t pid() const;                         // 0 until it has started
};

// A process started with its output thrown away, in a process group of its own;
// stop() kills the group (a registrar forks workers).
pid_t spawn(const std::vector<std::string>& argv);
void stop(pid_t pid);
bool alive(pid_t pid);

} // namespace siptest
