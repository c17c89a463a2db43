#pragma once
#include <optional>
#include <string>

// Small POSIX socket helpers shared by the door-phone channels and the utilities.
namespace platform {

// Opens a TCP connection to host (an address or a name) and port (decimal text)
// within timeoutMs. Returns a connected blocking socket, or -1 with a reason in
// *error (when given). Never waits longer than the time-out, unlike a plain
// blocking connect whose SYN retries take about two minutes on Linux.
int tcpConnect(const std::string& host, const std::string& port, int timeoutMs, std::string* error = nullptr);

// Makes a connection that waits long for data notice a peer that vanished
// without closing it (power lost, cable pulled, rebooted): after idleS seconds
// without traffic the kernel probes every intervalS seconds, and after probes
// unanswered probes, or once sent data stayed unacknowledged for userTimeoutMs,
// the connection fails and a waiting receive returns with an error. False when
// an option cannot be set.
bool setKeepAlive(int fd, int idleS, int intervalS, int probes, int userTimeoutMs);

// Sends all bytes; false on any failure.
bool sendAll(int fd, const void* data, size_t size);

// Waits until fd is readable or timeoutMs passed. 1 readable, 0 time-out, -1 error.
int waitReadable(int fd, int timeoutMs);

// Closes and forgets a socket; safe on -1.
void closeSocket(int& fd);

// The local host name, or nothing.
std::optional<std::string> localHostName();
// First IPv4 address the local host name resolves to, dotted; nothing when it does not resolve.
std::optional<std::string> localIPv4();

} // namespace platform
