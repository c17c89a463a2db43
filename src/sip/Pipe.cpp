#include "sip/Pipe.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <istream>
#include <ostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
constexpr std::size_t Piece = 4096;
}

TPipe::TPipe(bool inheritable, std::size_t size) : inheritable_(inheritable) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw EInOutError(std::string("Can't create pipe: ") + std::strerror(errno));
    readHandle_ = fds[0];
    writeHandle_ = fds[1];
    if (size > 0)
        ::fcntl(writeHandle_, F_SETPIPE_SZ, static_cast<int>(std::min<std::size_t>(size, 1u << 20)));
}

TPipe::~TPipe() {
    if (readHandle_ >= 0) ::close(readHandle_);
    if (writeHandle_ >= 0) ::close(writeHandle_);
}

std::size_t TPipe::AvailableDataSize() const {
    int n = 0;
    if (readHandle_ < 0 || ::ioctl(readHandle_, FIONREAD, &n) != 0 || n < 0)
        throw EInOutError("Can't read pipe: peek attempt failed");
    return static_cast<std::size_t>(n);
}

bool TPipe::ReadData(void* buffer, std::size_t size, std::size_t& count) {
    count = 0;
    const std::size_t want = std::min(size, AvailableDataSize());
    if (want == 0) return false;
    ssize_t got;
    do {
        got = ::read(readHandle_, buffer, want);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    count = static_cast<std::size_t>(got);
    return true;
}

std::vector<uint8_t> TPipe::ReadBytes(std::size_t count) {
    std::size_t want = AvailableDataSize();
    if (count > 0) want = std::min(want, count);
    std::vector<uint8_t> out(want);
    std::size_t got = 0;
    if (want > 0) ReadData(out.data(), want, got);
    if (got < want) throw EInOutError("Error reading pipe");
    return out;
}

std::size_t TPipe::CopyToString(std::string& out, std::size_t count) {
    std::size_t want = AvailableDataSize();
    if (count > 0) want = std::min(want, count);
    std::size_t moved = 0;
    char buf[Piece];
    while (moved < want) {
        std::size_t got = 0;
        ReadData(buf, std::min(Piece, want - moved), got);
        if (got == 0) throw EInOutError("Error reading pipe");
        out.append(buf, got);
        moved += got;
    }
    return moved;
}

std::size_t TPipe::CopyToStream(std::ostream& stream, std::size_t count) {
    std::string bytes;
    const std::size_t moved = CopyToString(bytes, count);
    if (moved > 0) stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return moved;
}

std::size_t TPipe::CopyFromStream(std::istream& stream, std::size_t count) {
    if (count == 0) {
        const auto here = stream.tellg();
        stream.seekg(0, std::ios::end);
        const auto end = stream.tellg();
        stream.seekg(here);
        if (here < 0 || end < here) return 0;
        count = static_cast<std::size_t>(end - here);
    }
    std::size_t written = 0;
    char buf[Piece];
    while (written < count) {
        stream.read(buf, static_cast<std::streamsize>(std::min(Piece, count - written)));
        const auto got = static_cast<std::size_t>(stream.gcount());
        if (got == 0) break;
        std::size_t off = 0;
        while (off < got) {
            const std::size_t n = WriteData(buf + off, got - off);
            if (n == 0) throw EInOutError("Error writing pipe");
            off += n;
        }
        written += got;
    }
    return written;
}

std::size_t TPipe::WriteData(const void* buffer, std::size_t size) {
    if (writeHandle_ < 0) throw EInOutError("Can't write pipe: handle closed");
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < size) {
        const ssize_t n = ::write(writeHandle_, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) break; // non-blocking and full: the caller keeps the rest
            throw EInOutError("Error writing pipe");
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TPipe::WriteBytes(const std::vector<uint8_t>& bytes) {
    return WriteData(bytes.data(), bytes.size());
}

void TPipe::SetWriteNonBlocking(bool on) {
    if (writeHandle_ < 0) return;
    const int flags = ::fcntl(writeHandle_, F_GETFL);
    if (flags >= 0) ::fcntl(writeHandle_, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
}

void TPipe::CloseWriteHandle() {
    if (writeHandle_ >= 0) ::close(writeHandle_);
    writeHandle_ = -1;
}
