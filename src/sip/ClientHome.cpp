#include "sip/ClientHome.h"

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
std::string withoutSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}
} // namespace

void RemoveStaleClientSettings(const std::string& clientHome) {
    if (clientHome.empty()) return;
    const std::string home = withoutSlash(clientHome);
    std::error_code ec;
    // Debian's client reads only $HOME/.linphonerc; the XDG place is cleared too
    // in case another build of the client reads it.
    fs::remove(home + "/.linphonerc", ec);
    fs::remove(home + "/.config/linphone/linphonerc", ec);
}

bool PrepareClientHome(const std::string& clientHome, std::string* error) {
    const std::string home = withoutSlash(clientHome);
    std::error_code ec;
    fs::create_directories(home, ec);
    if (ec || ::chmod(home.c_str(), 0700) != 0) {
        if (error) *error = "cannot prepare " + home + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    // Without this folder the client never starts its SIP stack.
    for (const char* sub : {"/.local/share/linphone", "/.config"}) {
        fs::create_directories(home + sub, ec);
        if (ec) {
            if (error) *error = "cannot create " + home + sub + ": " + ec.message();
            return false;
        }
    }
    return true;
}

std::vector<std::string> ClientHomeVariables(const std::string& clientHome) {
    const std::string home = withoutSlash(clientHome);
    return {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
            "XDG_DATA_HOME=" + home + "/.local/share"};
}
