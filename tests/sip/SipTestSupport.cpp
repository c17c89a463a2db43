#include "SipTestSupport.h"

#include "support/TestEnv.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs before main(): a root test process outside a private namespace starts
// itself again inside one, so that "kill every linphonec" cannot reach a
// process of anyone else and nothing can leave the machine.
struct Isolation {
    Isolation() {
        if (std::getenv("VN_IN_NETNS")) return;
        if (::getuid() != 0) return; // not isolated: the tests skip
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        for (size_t s = 0; s < all.size();) {
            size_t e = all.find('\0', s);
            if (e == std::string::npos) e = all.size();
            args.push_back(all.substr(s, e - s));
            s = e + 1;
        }
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0 || args.empty()) return;
        args[0].assign(self, static_cast<size_t>(n));
        std::vector<std::string> cmd = {
            "unshare",      "--net", "--pid", "--fork",
            "--mount-proc", "bash",  "-c",    "ip link set lo up && exec \"$0\" \"$@\""};
        cmd.insert(cmd.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : cmd)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::setenv("VN_IN_NETNS", "1", 1);
        ::execvp("unshare", argv.data());
        ::unsetenv("VN_IN_NETNS"); // could not: the tests skip
    }
} isolation;

} // namespace

namespace siptest {

bool isolated() {
    if (!std::getenv("VN_IN_NETNS")) return false;
    std::ifstream dev("/proc/net/dev");
    std::string line;
    int interfaces = 0;
    bool onlyLo = true;
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        ++interfaces;
        if (name != "lo") onlyLo = false;
    }
    return interfaces > 0 && onlyLo;
}

StandIn::StandIn(const std::string& script) {
    dir = testenv::makeTempDir("standin");
    const std::string bin = dir + "/bin";
    std::filesystem::create_directory(bin);
    std::filesystem::create_symlink(VN_STANDIN_PATH, bin + "/linphonec");
    testenv::writeFile(dir + "/script", script);
    const char* path = std::getenv("PATH");
    ::setenv("PATH", (bin + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    ::setenv("VN_STANDIN_DIR", dir.c_str(), 1);
}

std::vector<std::string> StandIn::commands() const {
    std::vector<std::string> out;
    std::istringstream in(testenv::readFile(dir + "/commands.log"));
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

void StandIn::say(const std::string& text) const {
    testenv::writeFile(dir + "/say.new", text);
    std::filesystem::rename(dir + "/say.new", dir + "/say");
}

pid_t StandIn::pid() const {
    return static_cast<pid_t>(std::atoi(testenv::readFile(dir + "/pid").c_str()));
}

pid_t spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0); // a group of its own: stop() ends its children too
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

bool alive(pid_t pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return !(close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z');
}

} // namespace siptest
