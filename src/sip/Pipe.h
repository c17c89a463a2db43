#pragma once
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

// An input/output failure of a pipe; the message says what failed.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One anonymous pipe, both ends owned. Reads never wait: they take only the
// bytes already in the pipe. Both ends are close-on-exec; a child gets an end
// only through TConsoleApp's standard handles, so no unrelated child started
// by another thread keeps the pipe open.
class TPipe {
public:
    // size 0 = the system's default; otherwise the capacity is set to at least size bytes.
    explicit TPipe(bool inheritable, std::size_t size = 0);
    ~TPipe();
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;

    int ReadHandle() const { return readHandle_; }
    int WriteHandle() const { return writeHandle_; }
    bool Inheritable() const { return inheritable_; }

    // Bytes waiting in the pipe, without reading them.
    std::size_t AvailableDataSize() const;
    // Reads at most the bytes waiting and at most size; count gets the bytes read.
    bool ReadData(void* buffer, std::size_t size, std::size_t& count);
    // The bytes waiting, but no more than count when count > 0.
    std::vector<uint8_t> ReadBytes(std::size_t count = 0);
    // Moves the bytes waiting (no more than count when count > 0) into the stream
    // at its position, in pieces of at most 4096 bytes. Returns the bytes moved.
    std::size_t CopyToStream(std::ostream& stream, std::size_t count = 0);
    // The same into the end of a string.
    std::size_t CopyToString(std::string& out, std::size_t count = 0);
    // Writes count bytes of the stream (0 = to its end) in pieces of at most 4096 bytes.
    std::size_t CopyFromStream(std::istream& stream, std::size_t count = 0);

    // Writes and returns the bytes written. With a non-blocking write end a
    // full pipe takes fewer bytes (possibly 0) instead of waiting.
    std::size_t WriteData(const void* buffer, std::size_t size);
    std::size_t WriteBytes(const std::vector<uint8_t>& bytes);
    void SetWriteNonBlocking(bool on);
    void CloseWriteHandle();

private:
    int readHandle_ = -1;
    int writeHandle_ = -1;
    bool inheritable_ = false;
};
