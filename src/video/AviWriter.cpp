#include "video/AviWriter.h"

#include <cerrno>
#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

namespace video {

namespace {

// Little-endian writer into a buffer sized up front.
struct Bytes {
    std::vector<uint8_t> b;
    size_t n = 0;
    explicit Bytes(size_t size) : b(size) {}
    void put(const void* p, size_t len) {
        if (n + len > b.size()) b.resize(n + len);
        std::memcpy(b.data() + n, p, len);
        n += len;
    }
    void u32(uint32_t v) {
        const uint8_t x[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
        put(x, 4);
    }
    void u16(uint16_t v) {
        const uint8_t x[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        put(x, 2);
    }
    void cc(const char (&f)[5]) { put(f, 4); }
};

bool writeAllv(int fd, iovec* iov, int count) {
    while (count > 0) {
        ssize_t n = ::writev(fd, iov, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        auto done = static_cast<size_t>(n);
        while (count > 0 && done >= iov->iov_len) {
            done -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<uint8_t*>(iov->iov_base) + done;
            iov->iov_len -= done;
        }
    }
    return true;
}

constexpr uint32_t MicroSecPerFrame = (1000000 * AviWriter::Scale + AviWriter::Rate / 2) / AviWriter::Rate;

} // namespace

bool AviWriter::writeAt(uint64_t offset, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AviWriter::begin() {
    Bytes h(MoviListAt + 12);
    h.cc("RIFF");
    h.u32(0); // patched
    h.cc("AVI ");
    h.cc("LIST");
    h.u32(206);
    h.cc("hdrl");

    h.cc("avih");
    h.u32(56);
    h.u32(MicroSecPerFrame);
    h.u32(FrameBytes * Rate / Scale); // max bytes per second
    h.u32(0);                         // padding granularity
    h.u32(HasIndex);
    h.u32(0); // total frames, patched
    h.u32(0); // initial frames
    h.u32(1); // streams
    h.u32(FrameBytes);
    h.u32(Width);
    h.u32(Height);
    for (int i = 0; i < 4; ++i)
        h.u32(0);

    h.cc("LIST");
    h.u32(130);
    h.cc("strl");
    h.cc("strh");
    h.u32(56);
    h.cc("vids");
    h.u32(0); // no handler
    h.u32(0); // flags
    h.u16(0); // priority
    h.u16(0); // language
    h.u32(0); // initial frames
    h.u32(Scale);
    h.u32(Rate);
    h.u32(0); // start
    h.u32(0); // length, patched
    h.u32(FrameBytes);
    h.u32(Quality);
    h.u32(0); // sample size: varies per sample
    h.u16(0);
    h.u16(0);
    h.u16(Width - 1);
    h.u16(Height - 1);

    h.cc("strf");
    h.u32(40);
    h.u32(40);
    h.u32(Width);
    h.u32(Height); // positive: rows bottom-up
    h.u16(1);
    h.u16(24);
    h.u32(0); // BI_RGB
    h.u32(FrameBytes);
    for (int i = 0; i < 4; ++i)
        h.u32(0);

    h.cc("strn");
    h.u32(6);
    h.put("Guard", 6);

    h.cc("LIST");
    h.u32(4); // patched
    h.cc("movi");

    if (h.n != MoviListAt + 12) return false;
    if (!writeAt(0, h.b.data(), h.n)) {
        failed_ = true;
        return false;
    }
    end_ = h.n;
    return true;
}

bool AviWriter::writeFrame(const uint8_t* bgrBottomUp) {
    if (failed_ || end_ == 0) return false;
    const uint64_t chunk = 8 + FrameBytes;
    // Leave room for the index entry of this frame and the rest.
    if (end_ + chunk + 8 + 16 * (index_.size() + 1) > MaxFileBytes) return false;
    uint8_t head[8] = {'0', '0', 'd', 'b'};
    for (int i = 0; i < 4; ++i)
        head[4 + i] = static_cast<uint8_t>(FrameBytes >> (8 * i));
    iovec iov[2] = {{head, 8}, {const_cast<uint8_t*>(bgrBottomUp), FrameBytes}};
    if (::lseek(fd_, static_cast<off_t>(end_), SEEK_SET) < 0 || !writeAllv(fd_, iov, 2)) {
        // A partly written chunk is overwritten by the next frame or the index.
        return false;
    }
    index_.push_back(static_cast<uint32_t>(end_ - (MoviListAt + 8)));
    end_ += chunk;
    return true;
}

bool AviWriter::finish() {
    if (failed_ || end_ == 0) return false;
    Bytes idx(8 + 16 * index_.size());
    idx.cc("idx1");
    idx.u32(static_cast<uint32_t>(16 * index_.size()));
    for (uint32_t off : index_) {
        idx.cc("00db");
        idx.u32(KeyFrame);
        idx.u32(off);
        idx.u32(FrameBytes);
    }
    if (!writeAt(end_, idx.b.data(), idx.n)) return false;
    const uint64_t fileSize = end_ + idx.n;
    if (::ftruncate(fd_, static_cast<off_t>(fileSize)) != 0) return false;

    const auto riff = static_cast<uint32_t>(fileSize - 8);
    const auto frames = static_cast<uint32_t>(index_.size());
    const auto movi = static_cast<uint32_t>(end_ - (MoviListAt + 8));
    Bytes v(12);
    v.u32(riff);
    v.u32(frames);
    v.u32(movi);
    return writeAt(RiffSizeAt, v.b.data(), 4) && writeAt(TotalFramesAt, v.b.data() + 4, 4) &&
           writeAt(StreamLengthAt, v.b.data() + 4, 4) && writeAt(MoviListAt + 4, v.b.data() + 8, 4);
}

} // namespace video
