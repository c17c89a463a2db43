#include "sip/PortCheck.h"

#include "common/SystemUtils.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

std::string PortOwnerLookup() {
    try {
        const char* tmp = std::getenv("TMPDIR");
        std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/YOXXXXXXX";
        int fd = ::mkstemp(path.data());
        if (fd < 0) return {};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fd, 1);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"ss", "-H", "-uanp", nullptr};
        pid_t pid = 0;
        const int rc = ::posix_spawnp(&pid, "ss", &fa, nullptr, const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(fd);
        std::string listing;
        if (rc == 0) {
            // The listing has a second to appear, as the check has always allowed.
            for (int i = 0; i < 100; ++i) {
                int status = 0;
                const pid_t w = ::waitpid(pid, &status, WNOHANG);
                if (w == pid || (w < 0 && errno != EINTR)) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (i == 99) {
                    ::kill(pid, SIGKILL);
                    ::waitpid(pid, &status, 0);
                }
            }
            if (FILE* f = std::fopen(path.c_str(), "rb")) {
                char buf[4096];
                size_t n;
                while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                    listing.append(buf, n);
                std::fclose(f);
            }
        }
        ::unlink(path.c_str());
        // The listing tool itself shows up beside a socket it inherited.
        for (pid_t owner : ParsePortOwnerPids(listing, 5060)) {
            if (owner == pid) continue;
            std::string name = ProcessNameByPID(owner);
            if (!name.empty()) return name;
        }
        return {};
    } catch (...) {
        return {};
    }
}

void TPortCheck::Check(bool quiet) {
    if (reported_) return;
    std::string owner = Lookup();
    for (int look = 1; !quiet && owner.empty() && look < 4; ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(RetryWaitMs));
        owner = Lookup();
    }
    if (owner == "linphonec") return; // the desk's own client
    if (quiet && owner.empty()) return;
    reported_ = true;
    const std::string name = owner.empty() ? "Unknown" : owner;
    if (WriteLog)
        WriteLog("LINPHONE: Error 99: \"Could not start UDP transport on port 5060\", Blocking program is: " +
                 name);
    if (ShowError) ShowError(MessageBefore + name + MessageAfter);
}
