// Video figures: each benchmark has a baseline in the same run, and the end of
// the run prints our time as a ratio of the baseline's.
#include "video/AVI_do.h"
#include "video/JpegDecoder.h"
#include "video/MjpegParser.h"
#include "video/video.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

extern char** environ;

namespace {

// A camera-like 640 x 480 picture: smooth gradients with some texture, seeded
// so that every frame differs a little.
std::string makeFrame(int seed, int w = 640, int h = 480) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    uint32_t r = 2463534242u + static_cast<uint32_t>(seed) * 977u;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            r ^= r << 13;
            r ^= r >> 17;
            r ^= r << 5;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            const int noise = static_cast<int>(r & 15);
            p[0] = static_cast<uint8_t>((x * 255 / w + seed * 3 + noise) & 0xFF);
            p[1] = static_cast<uint8_t>((y * 255 / h + noise) & 0xFF);
            p[2] = static_cast<uint8_t>(((x + y) / 5 + noise) & 0xFF);
        }
    tjhandle c = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(c, rgb.data(), w, 0, h, TJPF_RGB, &out, &size, TJSAMP_420, 80, 0);
    std::string s(reinterpret_cast<char*>(out), size);
    tjFree(out);
    tjDestroy(c);
    return s;
}

const std::vector<std::string>& frames() {
    static const std::vector<std::string> f = [] {
        std::vector<std::string> v;
        for (int i = 0; i < 100; ++i)
            v.push_back(makeFrame(i));
        return v;
    }();
    return f;
}

// What a door phone sends: the HTTP head, then parts as the device frames them.
const std::string& recordedStream() {
    static const std::string s = [] {
        std::string out =
            "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=tojekonec\r\n\r\n"
            "--tojekonec\r\n";
        for (int i = 0; i < 30; ++i) {
            const std::string& j = frames()[static_cast<size_t>(i)];
            out += "Content-Type: image/jpeg\r\nContent-Length: " + std::to_string(j.size()) +
                   "\r\nX-Frame-Call: 0\r\nTitle: Gate\r\n\r\n" + j + "\r\n--tojekonec\r\n";
        }
        return out;
    }();
    return s;
}

constexpr size_t Chunk = TMJPEG::ReceiveSize;

void BM_Parser(benchmark::State& state) {
    const std::string& s = recordedStream();
    const auto* data = reinterpret_cast<const uint8_t*>(s.data());
    video::MjpegParser parser;
    size_t pictures = 0;
    for (auto _ : state) {
        parser.reset();
        for (size_t at = 0; at < s.size(); at += Chunk) {
            for (auto& e : parser.feed(data + at, std::min(Chunk, s.size() - at)))
                if (e.kind == video::MjpegEvent::Kind::Picture) {
                    ++pictures;
                    parser.recycle(std::move(e.picture));
                }
        }
    }
    if (pictures != 30 * static_cast<size_t>(state.iterations())) state.SkipWithError("pictures lost");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

// The floor: find every marker with memmem, and nothing else.
void BM_ParserBaselineMemmem(benchmark::State& state) {
    const std::string& s = recordedStream();
    static constexpr char marker[] = "Content-Type: image/jpeg\r\nContent-Length: ";
    size_t found = 0;
    for (auto _ : state) {
        for (size_t at = 0; at < s.size(); at += Chunk) {
            const char* p = s.data() + at;
            size_t left = std::min(Chunk, s.size() - at);
            while (const void* hit = ::memmem(p, left, marker, sizeof marker - 1)) {
                ++found;
                const size_t skip = static_cast<size_t>(static_cast<const char*>(hit) - p) + 1;
                p += skip;
                left -= skip;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

// One 640 x 480 picture as the client decodes it for the panel (to 400 x 300).
void BM_DecodeClient(benchmark::State& state) {
    const std::string& j = frames()[0];
    video::JpegDecoder d;
    QImage img;
    for (auto _ : state) {
        if (!TMJPEG::DecodePicture(d, reinterpret_cast<const uint8_t*>(j.data()), j.size(), img))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.constBits());
    }
}

void BM_DecodeBaselineTurbo(benchmark::State& state) {
    const std::string& j = frames()[0];
    tjhandle h = tjInitDecompress();
    const int w = 400, ht = 300;
    std::vector<uint8_t> out(static_cast<size_t>(w) * ht * 3);
    for (auto _ : state) {
        tjDecompress2(h, reinterpret_cast<const uint8_t*>(j.data()), j.size(), out.data(), w, w * 3, ht,
                      TJPF_RGB, 0);
        benchmark::DoNotOptimize(out.data());
    }
    tjDestroy(h);
}

std::string benchDir() {
    static const std::string d = [] {
        char tmpl[] = "/tmp/velnora-bench-XXXXXX";
        const char* p = ::mkdtemp(tmpl);
        return std::string(p ? p : "/tmp");
    }();
    return d;
}

// 100 recorded frames into one AVI file, the whole recorder run.
void BM_Avi100Recorder(benchmark::State& state) {
    TAVICollection c;
    for (const auto& j : frames()) {
        std::string framed = j + "\r\n--tojekonec\r\n";
        c.AVIStream.emplace_back(framed.begin(), framed.end());
    }
    c.Count = 100;
    const std::string dir = benchDir() + "/ours";
    std::filesystem::create_directories(dir);
    for (auto _ : state) {
        state.PauseTiming();
        auto rec = std::make_shared<TAVICreator>();
        rec->AVICollection = c;
        rec->AVIDirectory = dir;
        rec->GuardName = "Gate";
        state.ResumeTiming();
        rec->Run();
        state.PauseTiming();
        std::filesystem::remove(rec->fTempFileName);
        state.ResumeTiming();
    }
}

// The same JPEG files through an ffmpeg process to the same raw format.
void BM_Avi100BaselineFfmpeg(benchmark::State& state) {
    const std::string dir = benchDir() + "/ffmpeg";
    std::filesystem::create_directories(dir);
    for (size_t i = 0; i < frames().size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%03zu.jpg", i);
        std::FILE* f = std::fopen((dir + name).c_str(), "wb");
        std::fwrite(frames()[i].data(), 1, frames()[i].size(), f);
        std::fclose(f);
    }
    const std::string in = dir + "/f%03d.jpg", out = dir + "/out.avi";
    std::vector<std::string> args = {
        "ffmpeg", "-nostdin",      "-v",   "error",    "-y",       "-framerate", "6", "-i", in,
        "-vf",    "scale=320:240", "-c:v", "rawvideo", "-pix_fmt", "bgr24",      out};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid;
        if (::posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("ffmpeg not found");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("ffmpeg failed");
    }
}

BENCHMARK(BM_Parser);
BENCHMARK(BM_ParserBaselineMemmem);
BENCHMARK(BM_DecodeClient);
BENCHMARK(BM_DecodeBaselineTurbo);
BENCHMARK(BM_Avi100Recorder)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Avi100BaselineFfmpeg)->Unit(benchmark::kMillisecond)->Iterations(10);

// Keeps each benchmark's real time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                seconds[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

void printRatio(const RatioReporter& rep, const std::string& ours, const std::string& base,
                const char* what) {
    const auto a = rep.seconds.find(ours), b = rep.seconds.find(base);
    if (a == rep.seconds.end() || b == rep.seconds.end() || a->second <= 0) return;
    std::printf("%-44s ours / baseline time = %.3f (baseline / ours = %.2f)\n", what, a->second / b->second,
                b->second / a->second);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    std::printf("\n");
    printRatio(rep, "BM_Parser", "BM_ParserBaselineMemmem", "parser vs memmem scan (target time <= 3):");
    printRatio(rep, "BM_DecodeClient", "BM_DecodeBaselineTurbo", "decode 640x480 vs tjDecompress2 (<= 1.1):");
    printRatio(rep, "BM_Avi100Recorder/iterations:20", "BM_Avi100BaselineFfmpeg/iterations:10",
               "100 frames to AVI vs ffmpeg (< 1):");
    std::error_code ec;
    std::filesystem::remove_all(benchDir(), ec);
    benchmark::Shutdown();
    return 0;
}
