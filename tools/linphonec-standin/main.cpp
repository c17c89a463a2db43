// A scripted stand-in for the console SIP client. It records every line it
// receives and prints texts at start, in answer to commands, or on cue.
//
// Folder: $VN_STANDIN_DIR (else the current folder), holding
//   script        lines "start TEXT", "on COMMAND => TEXT" (COMMAND ending in
//                 '*' matches by prefix), "ignore-quit"; TEXT knows the escapes n r t and backslash
//   commands.log  written: each received line, without its line end, CR shown as \r
//   say           a test renames a file here: its bytes are printed, then it is removed
//   pid           written: this process's id
//   env           written: its HOME, XDG_CONFIG_HOME and XDG_DATA_HOME, one a line
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
    return out;
}

void say(const std::string& text) {
    size_t off = 0;
    while (off < text.size()) {
        const ssize_t n = ::write(1, text.data() + off, text.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        off += static_cast<size_t>(n);
    }
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

int main() {
    const char* d = std::getenv("VN_STANDIN_DIR");
    const std::string dir = d && *d ? d : ".";
    std::vector<std::pair<std::string, std::string>> answers;
    std::string startText;
    bool ignoreQuit = false;
    {
        std::ifstream script(dir + "/script");
        std::string line;
        while (std::getline(script, line)) {
            if (line.rfind("start ", 0) == 0)
                startText += unescape(line.substr(6));
            else if (line == "ignore-quit")
                ignoreQuit = true;
            else if (line.rfind("on ", 0) == 0) {
                const auto arrow = line.find(" => ");
                if (arrow != std::string::npos)
                    answers.emplace_back(line.substr(3, arrow - 3), unescape(line.substr(arrow + 4)));
            }
        }
    }
    {
        std::ofstream env(dir + "/env");
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char* v = std::getenv(name);
            env << (v ? v : "") << "\n";
        }
    }
    std::ofstream(dir + "/pid") << ::getpid() << "\n";
    std::ofstream record(dir + "/commands.log", std::ios::app);
    say(startText);

    std::string input;
    for (;;) {
        pollfd p{0, POLLIN, 0};
        const int r = ::poll(&p, 1, 20);
        if (r > 0) {
            char buf[4096];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n == 0) return 0; // unlike the real client, it leaves at the end of its input
            if (n > 0) input.append(buf, static_cast<size_t>(n));
        }
        size_t nl;
        while ((nl = input.find('\n')) != std::string::npos) {
            std::string line = input.substr(0, nl);
            input.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string shown;
            for (char c : line)
                shown += c == '\r' ? std::string("\\r") : std::string(1, c);
            record << shown << "\n" << std::flush;
            for (const auto& [cmd, text] : answers) {
                const bool prefix = !cmd.empty() && cmd.back() == '*';
                if (prefix ? line.rfind(cmd.substr(0, cmd.size() - 1), 0) == 0 : line == cmd) say(text);
            }
            if (line == "quit" && !ignoreQuit) {
                say("Terminating...\n");
                return 0;
            }
        }
        const std::string cue = dir + "/say";
        const std::string taken = dir + "/say.taken";
        if (::rename(cue.c_str(), taken.c_str()) == 0) {
            say(readAll(taken));
            ::unlink(taken.c_str());
        }
    }
}
