// main() of every test binary. Before Qt or any code under test runs, the
// process gets a private temporary HOME with its own XDG folders, so that no
// test reads or writes the real user's files, and the offscreen Qt platform.
#include "support/TestEnv.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <execinfo.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace testenv {
void setTempRoot(const std::string& root);
}

namespace {
// A crash prints where it happened; the test output before it is not lost.
void onCrash(int sig) {
    void* frames[64];
    const int n = ::backtrace(frames, 64);
    const char msg[] = "\n*** test process crashed; backtrace:\n";
    [[maybe_unused]] ssize_t w = ::write(2, msg, sizeof msg - 1);
    ::backtrace_symbols_fd(frames, n, 2);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}
} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
#if !defined(__SANITIZE_ADDRESS__) &&                                                                        \
    !defined(__SANITIZE_THREAD__) // the sanitizers report crashes themselves
    ::signal(SIGSEGV, onCrash);
    ::signal(SIGABRT, onCrash);
    ::signal(SIGBUS, onCrash);
#endif
    char tmpl[] = "/tmp/velnora-test-XXXXXX";
    const char* root = ::mkdtemp(tmpl);
    if (!root) return 2;
    std::string r(root);
    testenv::setTempRoot(r);
    for (const char* sub : {"/home", "/home/.local", "/home/.local/share", "/home/.config", "/run"})
        std::filesystem::create_directory(r + sub);
    std::filesystem::permissions(r + "/run", std::filesystem::perms::owner_all);
    ::setenv("HOME", (r + "/home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (r + "/home/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (r + "/home/.config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (r + "/run").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (!std::getenv("VN_KEEP_TEMP")) {
        std::error_code ec;
        std::filesystem::remove_all(r, ec);
    }
    return rc;
}
