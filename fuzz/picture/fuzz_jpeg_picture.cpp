// The panel's picture from any bytes a door phone may send as a JPEG part:
// decoding must not crash, must refuse what it cannot show, and a picture it
// shows is the panel's picture: its size, its format, every byte readable.
#include "video/video.h"

#include <QImage>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One decoder for every picture, as the video client keeps one a stream.
    static video::JpegDecoder decoder;
    QImage picture;
    if (!TMJPEG::DecodePicture(decoder, data, size, picture)) {
        if (!picture.isNull()) std::abort(); // untouched on failure
        return 0;
    }
    const auto full = decoder.header(data, size);
    if (!full || full->width > video::JpegDecoder::MaxSide || full->height > video::JpegDecoder::MaxSide)
        std::abort();
    if (picture.width() != TMJPEG::PanelWidth || picture.height() != TMJPEG::PanelHeight) std::abort();
    if (picture.format() != QImage::Format_RGB32) std::abort();
    // Every byte of the picture is readable (the buffer is as large as the image says).
    unsigned sum = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* row = picture.constScanLine(y);
        sum += row[0] + row[picture.width() * 4 - 1];
    }
    return static_cast<int>(sum & 0); // keeps the reads
}
