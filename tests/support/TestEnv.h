#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// Helpers shared by all tests.
namespace testenv {

// The private temporary folder of this test process (HOME points here).
const std::string& tempRoot();
// A new empty folder under tempRoot().
std::string makeTempDir(const std::string& prefix = "t");
// Runs the Qt event loop until pred() holds or timeoutMs passed; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);
// Runs the Qt event loop for ms milliseconds.
void spin(int ms);
// The folder with the program's pictures and sounds.
std::string assetsDir();
std::string readFile(const std::string& path);
// A listening TCP socket on 127.0.0.1 at a port the system picks; *port gets it.
int listenLoopback(uint16_t* port, int backlog = 8);
// A loopback port where nothing listens (it was free a moment ago).
uint16_t unusedLoopbackPort();
void writeFile(const std::string& path, const std::string& bytes);

} // namespace testenv
