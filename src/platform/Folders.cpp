#include "platform/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string envOrEmpty(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : std::string();
}

std::string stripTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

std::string home() {
    return stripTrailingSlashes(envOrEmpty("HOME"));
}

// Reads XDG_DOCUMENTS_DIR="$HOME/..." from user-dirs.dirs; empty when absent.
std::string xdgDocumentsFromUserDirs() {
    std::string configHome = userAppDataFolder();
    if (configHome.empty()) return {};
    std::ifstream in(configHome + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("XDG_DOCUMENTS_DIR=", 0) != 0) continue;
        std::string v = line.substr(18);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) {
            if (home().empty()) return {};
            v = home() + v.substr(5);
        }
        if (v.empty() || v.front() != '/') return {};
        return stripTrailingSlashes(v);
    }
    return {};
}

} // namespace

std::string executableFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

std::string installedAssetsFolder(const std::string& currentFolder, const std::string& programFolder,
                                  const std::string& marker) {
    if (!currentFolder.empty() && fileExists(currentFolder + "/" + marker)) return {};
    if (programFolder.empty()) return {};
    const std::string folder = stripTrailingSlashes(programFolder) + "/../share/velnora-manager";
    return fileExists(folder + "/" + marker) ? folder : std::string();
}

std::string commonAppDataFolder() {
    std::string v = envOrEmpty("XDG_DATA_HOME");
    if (!v.empty() && v.front() == '/') return stripTrailingSlashes(v);
    std::string h = home();
    return h.empty() ? std::string() : h + "/.local/share";
}

std::string ensureCommonAppDataFolder() {
    std::string folder = commonAppDataFolder();
    if (!folder.empty()) createDirectories(folder, 0700);
    return folder;
}

std::string userAppDataFolder() {
    std::string v = envOrEmpty("XDG_CONFIG_HOME");
    if (!v.empty() && v.front() == '/') return stripTrailingSlashes(v);
    std::string h = home();
    return h.empty() ? std::string() : h + "/.config";
}

std::string commonDocumentsFolder() {
    std::string v = xdgDocumentsFromUserDirs();
    if (!v.empty()) return v;
    std::string h = home();
    return h.empty() ? std::string() : h + "/Documents";
}

bool directoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool createDirectory(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    if (::mkdir(path.c_str(), mode) == 0) return true;
    return errno == EEXIST && directoryExists(path);
}

bool createDirectories(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    if (directoryExists(path)) return true;
    for (size_t pos = 1; pos < path.size(); ++pos) {
        if (path[pos] != '/') continue;
        std::string part = path.substr(0, pos);
        if (!directoryExists(part) && !createDirectory(part, mode)) return false;
    }
    return createDirectory(path, mode);
}

} // namespace platform
