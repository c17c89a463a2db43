#pragma once
#include <string>

// The three well-known folders of the desk's machine. Each returns an absolute
// path without a trailing slash, or an empty text when it cannot be worked out
// (no HOME, say). None of them creates anything; ensureCommonAppDataFolder does.
namespace platform {

// Shared application data: $XDG_DATA_HOME, else ~/.local/share.
std::string commonAppDataFolder();
// The same folder, created with any missing parents (mode 0700, as the XDG
// rules ask) when it is not there yet; empty when it cannot be worked out.
std::string ensureCommonAppDataFolder();
// Per-user application settings: $XDG_CONFIG_HOME, else ~/.config.
std::string userAppDataFolder();
// Documents: XDG_DOCUMENTS_DIR from ~/.config/user-dirs.dirs, else ~/Documents.
std::string commonDocumentsFolder();

bool directoryExists(const std::string& path);
// Creates one directory level (the parent must exist). True when it exists afterwards.
bool createDirectory(const std::string& path, unsigned mode = 0755);
// Creates the directory and any missing parents.
bool createDirectories(const std::string& path, unsigned mode = 0755);
bool fileExists(const std::string& path);
// The folder holding the running program (from /proc/self/exe, links resolved);
// empty when it cannot be read.
std::string executableFolder();
// The pictures and sounds are loaded by bare name from the current folder. Run
// from the build tree, that is the assets folder it was started in; installed,
// they sit in <prefix>/share/velnora-manager beside <prefix>/bin. Returns the
// folder to change to: empty when the current folder already holds the marker
// file, or when the installed folder does not hold it either.
std::string installedAssetsFolder(const std::string& currentFolder, const std::string& programFolder,
                                  const std::string& marker);
// Writes the whole buffer to fd, going on after short writes and EINTR; false on any failure.
bool writeAll(int fd, const void* data, size_t size);

} // namespace platform
