#include "video/AVI_do.h"

#include "platform/Dispatch.h"
#include "video/AviFrame.h"
#include "video/AviWriter.h"
#include "video/JpegDecoder.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <mutex>
#include <thread>
#include <unistd.h>

// Trimming is glibc's own allocator's. Under the address and thread checkers
// malloc is theirs and glibc's allocator is never set up; malloc_trim would set
// it up on first use, and two recorders ending at once set it up twice, which
// glibc later stops the program for ("malloc assertion failure in
// __malloc_arena_thread_freeres") when those threads end.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VN_ALLOCATOR_REPLACED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VN_ALLOCATOR_REPLACED 1
#endif
#if defined(__GLIBC__) && !defined(VN_ALLOCATOR_REPLACED)
#define VN_TRIM_AFTER_RECORDING 1
#else
#define VN_TRIM_AFTER_RECORDING 0
#endif

namespace {

// Recorders between Start (or Run) and their last line.
std::mutex g_runningLock;
std::condition_variable g_runningChanged;
std::vector<const TAVICreator*> g_running;

// The codes the recorder reports, as the Windows AVI services name them.
constexpr int32_t AVIERR_FILEWRITE = static_cast<int32_t>(0x8004406Eu);

std::string openErrorName(int err) {
    // Every reason the file cannot be created is a file-open failure to the
    // reader of the log, except running out of memory.
    return err == ENOMEM ? "AVIERR_MEMORY" : "AVIERR_FILEOPEN";
}

// Creates the file without ever replacing one: an existing name gets "_2", "_3", ...
int createUnique(const std::string& base, std::string& chosen, int& err) {
    constexpr int MaxTries = 1000;
    for (int n = 1; n <= MaxTries; ++n) {
        chosen = n == 1 ? base : TAVICreator::WithSuffix(base, n);
        const int fd = ::open(chosen.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) return fd;
        err = errno;
        if (err != EEXIST) break;
    }
    chosen = base; // the line names the file that was asked for
    return -1;
}

} // namespace

void TAVICreator::Start(const std::shared_ptr<TAVICreator>& self) {
    // Counted before the thread exists, so that whoever waits for the
    // recorders right after starting one also waits for this one.
    self->enter();
    try {
        std::thread([self] { self->runCounted(); }).detach();
    } catch (...) {
        self->leave();
        throw;
    }
}

int TAVICreator::RunningCount() {
    std::lock_guard l(g_runningLock);
    return static_cast<int>(g_running.size());
}

std::vector<std::string> TAVICreator::WaitForAll(int timeoutMs) {
    std::unique_lock l(g_runningLock);
    g_runningChanged.wait_for(l, std::chrono::milliseconds(timeoutMs), [] { return g_running.empty(); });
    std::vector<std::string> left;
    for (const TAVICreator* c : g_running)
        left.push_back(c->fileLabel_);
    return left;
}

void TAVICreator::enter() {
    std::tm local{};
    const std::time_t now = Now ? Now() : std::time(nullptr);
    ::localtime_r(&now, &local);
    std::lock_guard l(g_runningLock);
    fileLabel_ = BuildFileName(AVIDirectory, GuardName, local);
    g_running.push_back(this);
}

void TAVICreator::leave() {
    std::lock_guard l(g_runningLock);
    g_running.erase(std::remove(g_running.begin(), g_running.end(), this), g_running.end());
    g_runningChanged.notify_all();
}

void TAVICreator::setFileLabel(const std::string& name) {
    std::lock_guard l(g_runningLock);
    fileLabel_ = name;
}

void TAVICreator::log(const std::string& text) {
    if (!LogEvent) return;
    if (!Receiver) {
        LogEvent(text);
        return;
    }
    Receiver.post([sink = LogEvent, text] { sink(text); });
}

void TAVICreator::Run() {
    enter();
    runCounted();
}

void TAVICreator::runCounted() {
    log("AVICompressor: start thread");
    writeFile();
    // The frames are ours; let them go before the last line.
    AVICollection = TAVICollection{};
#if VN_TRIM_AFTER_RECORDING
    // The allocator keeps freed memory of worker threads for reuse; after a
    // recording it goes back to the system.
    ::malloc_trim(0);
#endif
    // Posted before the count drops, so that a window that waited for the
    // recorders finds every line of theirs already queued.
    log("AVICompressor: stop thread");
    leave();
}

void TAVICreator::writeFile() {
    std::time_t now = Now ? Now() : std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const std::string base = BuildFileName(AVIDirectory, GuardName, local);

    int err = 0;
    const int fd = createUnique(base, fTempFileName, err);
    if (fd >= 0) setFileLabel(fTempFileName);
    if (fd < 0) {
        log("AVICompressor: ERROR unable to create Temp AVI file. Location= \"" + fTempFileName +
            "\" Error= " + openErrorName(err));
        return;
    }
    video::AviWriter writer(fd);
    if (!writer.begin()) {
        log("AVICompressor: ERROR unable to create AVI stream, Error= " + std::to_string(AVIERR_FILEWRITE));
        ::close(fd);
        return;
    }

    video::JpegDecoder decoder;
    std::vector<uint8_t> frame(video::AviWriter::FrameBytes, 0); // black until a frame decodes
    std::vector<uint8_t> scratch;
    const int count = std::min<int>(AVICollection.Count, static_cast<int>(AVICollection.AVIStream.size()));
    for (int i = 0; i < count; ++i) {
        const auto& jpeg = AVICollection.AVIStream[static_cast<size_t>(i)];
        bool decoded = false;
        if (AVICollection.isSample(static_cast<size_t>(i)) && jpeg.size() == frame.size()) {
            frame = jpeg; // made while recording
            decoded = true;
        } else {
            try {
                decoded = video::jpegToAviFrame(decoder, jpeg.data(), jpeg.size(), frame, scratch);
            } catch (const std::bad_alloc&) {
                decoded = false;
            }
        }
        if (!decoded) {
            char line[96];
            std::snprintf(line, sizeof line, "AVICompressor: ERROR corrupted JPEG stream number of %d", i);
            log(line);
            // The position keeps the last good picture (black before the first),
            // so later frames stay at their own time.
        }
        if (!writer.writeFrame(frame.data()))
            log("AVICompressor: ERROR unable to write Bitmap[" + std::to_string(i) +
                "] to the Stream, Error= " + std::to_string(AVIERR_FILEWRITE));
    }
    const bool closed = writer.finish();
    const bool synced = ::close(fd) == 0;
    if (closed && synced)
        log("Save AVI to " + fTempFileName);
    else
        log("AVICompressor: ERROR unable to close AVI file, Error= " + std::to_string(AVIERR_FILEWRITE));
}
