#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Helpers of the simulator tests: a plain loopback client, a reader of video
// parts written from the framing table (independent of the simulator's code),
// and a child process with pipes.
namespace simtest {

class Client {
public:
    explicit Client(uint16_t port); // connects to 127.0.0.1:port; connected() tells
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(std::string_view bytes);
    // One receive: nothing on time-out, "" when the peer closed.
    std::optional<std::string> recvOnce(int timeoutMs);
    // Receives until minBytes have arrived, the peer closes or the time runs out; returns what came.
    std::string recvUntil(size_t minBytes, int timeoutMs);
    // True when the peer closes within timeoutMs (data before the close is discarded).
    bool closedByPeer(int timeoutMs);

private:
    int fd_ = -1;
};

// The console's events request.
constexpr std::string_view kEvents = "GET /events.txt HTTP/1.1\r\n\r\n";

constexpr std::string_view kMarker = "Content-Type: image/jpeg\r\nContent-Length: ";

// One video part, cut exactly where the console's client cuts it.
struct Part {
    std::string digits;  // the length as sent
    std::string after16; // the 16 bytes after the digits
    char callByte = 0;
    std::string after9;        // the 9 bytes after the call byte
    std::string title;         // up to the first CR or LF
    std::string after4;        // the 4 bytes after the title
    std::string jpeg;          // N bytes (empty when N does not fit or is 0)
    std::string trailer;       // the 15 bytes after the JPEG data
    size_t begin = 0, end = 0; // where the part lies in the stream
};

// Reads the first part whose marker lies at or after `from`; nothing while incomplete.
// N larger than maxLength is not read (jpeg and trailer stay empty).
std::optional<Part> readPart(const std::string& stream, size_t from, size_t maxLength = 1 << 20);

// Every complete part of the stream, in order.
std::vector<Part> readParts(const std::string& stream);

// A program started with its stdin, stdout and stderr on pipes.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child(); // kills and reaps the child if it still runs
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool writeLine(const std::string& line);
    void closeStdin();
    // The next stdout line without its newline, or nothing on time-out or end.
    std::optional<std::string> readLine(int timeoutMs);
    std::string readAllStderr(int timeoutMs);
    // Exit status once the child has ended within timeoutMs, else nothing.
    std::optional<int> wait(int timeoutMs);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    std::string outBuf_;
    std::optional<int> status_;
};

} // namespace simtest
