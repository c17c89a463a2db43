#pragma once
// Small pictures and stream parts for the video tests, made here with TurboJPEG.
#include <cstdint>
#include <cstdio>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace vfix {

inline const std::string Trailer = "\r\n--tojekonec\r\n";
inline const std::string StreamHead =
    "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=tojekonec\r\n\r\n--tojekonec\r\n";

// A w x h JPEG whose top half is `top` and bottom half `bottom` (RGB), with a
// little texture so that it is not trivially compressible.
inline std::string makeJpeg(int w, int h, uint32_t top = 0xFF0000, uint32_t bottom = 0x0000FF,
                            int quality = 90, int flags = 0) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = y < h / 2 ? top : bottom;
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(c >> 16);
            p[1] = static_cast<uint8_t>(c >> 8);
            p[2] = static_cast<uint8_t>(c);
        }
    tjhandle h2 = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(h2, rgb.data(), w, 0, h, TJPF_RGB, &out, &size, TJSAMP_420, quality, flags);
    std::string s(reinterpret_cast<char*>(out), size);
    tjFree(out);
    tjDestroy(h2);
    return s;
}

// A hostile picture: jpeg with the size in its frame header changed to w x h,
// its data left as it is (far too little for that size).
inline std::string declareSize(std::string jpeg, int w, int h) {
    for (size_t i = 2; i + 9 <= jpeg.size(); ++i)
        if (jpeg[i] == '\xFF' && (jpeg[i + 1] == '\xC0' || jpeg[i + 1] == '\xC2')) {
            jpeg[i + 5] = static_cast<char>(h >> 8);
            jpeg[i + 6] = static_cast<char>(h);
            jpeg[i + 7] = static_cast<char>(w >> 8);
            jpeg[i + 8] = static_cast<char>(w);
            break;
        }
    return jpeg;
}

// A hostile picture: jpeg made about `bytes` long with comment segments after
// its start marker. It decodes as the small picture it is.
inline std::string padJpeg(const std::string& jpeg, size_t bytes) {
    std::string pad;
    size_t need = bytes > jpeg.size() ? bytes - jpeg.size() : 0;
    while (need >= 4) {
        size_t t = need < 65537 ? need : 65537; // a segment: marker, 2 length bytes, data
        if (need - t > 0 && need - t < 4) t -= 4;
        const size_t len = t - 2;
        pad += "\xFF\xFE";
        pad += static_cast<char>(len >> 8);
        pad += static_cast<char>(len & 0xFF);
        pad.append(len - 2, 'x');
        need -= t;
    }
    return jpeg.substr(0, 2) + pad + jpeg.substr(2);
}

// One part of the door phone's stream, as the device frames it.
inline std::string part(const std::string& jpeg, const std::string& title = "Gate", char call = '0',
                        const std::string& lengthText = "") {
    std::string p = "Content-Type: image/jpeg\r\nContent-Length: ";
    p += lengthText.empty() ? std::to_string(jpeg.size()) : lengthText;
    p += "\r\nX-Frame-Call: ";
    p += call;
    p += "\r\nTitle: " + title + "\r\n\r\n";
    p += jpeg;
    p += Trailer;
    return p;
}

inline std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// Output of a command (stdout), or empty when it cannot run.
inline std::string run(const std::string& cmd) {
    std::string out;
    if (FILE* f = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        ::pclose(f);
    }
    return out;
}

} // namespace vfix
