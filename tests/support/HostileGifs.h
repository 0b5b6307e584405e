#pragma once

#include "GifBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

// Small GIF files that declare far more work than their size suggests, for the tests and benchmarks that
// show the decoder's and the composition's costs stay bounded.
namespace hostile {

enum class Kind {
    TinyFrames,       // frames of 1 x 1 on a 1 x 1 screen, 15 bytes each
    CapFrames,        // frames of 8192 x 8192 (the largest allowed) on a screen as large
    PreviousAtTheCap, // frames of 8192 x 8191 on an 8192 x 8192 screen, restored to the previous state
                      // afterwards, 10 ms apart
    DenseCapFrames    // frames of 8192 x 8192 whose codes fill every pixel in strings of 4091 (24 kB each)
};

// Each frame's data: a clear code, one pixel of index 0, the end code.
inline std::vector<uint8_t> onePixelData() {
    return {2, 2, 0x44, 0x01, 0};
}

// Codes that make each new table entry one pixel longer than the last (the code being defined, each time)
// until the table is full, then repeat the longest string until width x height pixels are written.
inline std::vector<uint8_t> longStringsData(int64_t pixels) {
    GifCodeWriter writer;
    int width = 3, next = 6;
    writer.put(4, width); // clear
    writer.put(0, width);
    int64_t written = 1;
    while (next < 4096 && written < pixels) {
        writer.put(next, width);
        written += next - 4;
        if (++next == (1 << width) && width < 12)
            ++width;
    }
    while (written < pixels) {
        writer.put(4095, 12);
        written += 4091;
    }
    writer.put(5, 12); // end
    std::vector<uint8_t> data{2};
    const std::vector<uint8_t> blocks = subBlocks(writer.bytes());
    data.insert(data.end(), blocks.begin(), blocks.end());
    return data;
}

inline std::vector<uint8_t> gif(Kind kind, int frames) {
    const int screen = kind == Kind::TinyFrames ? 1 : 8192;
    GifBuilder builder;
    builder.screen(screen, screen, GifBuilder::palette(4));
    GifImageSpec frame;
    frame.width = screen;
    frame.height = kind == Kind::PreviousAtTheCap ? screen - 1 : screen;
    frame.data = kind == Kind::DenseCapFrames ? longStringsData(int64_t{screen} * screen) : onePixelData();
    for (int i = 0; i < frames; ++i) {
        if (kind == Kind::PreviousAtTheCap)
            builder.graphicControl(1, 3);
        builder.image(frame);
    }
    builder.trailer();
    return builder.bytes();
}

inline Kind kindNamed(const std::string& name) {
    if (name == "tiny")
        return Kind::TinyFrames;
    if (name == "cap")
        return Kind::CapFrames;
    if (name == "dense")
        return Kind::DenseCapFrames;
    return Kind::PreviousAtTheCap;
}

} // namespace hostile
