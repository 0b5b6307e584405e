#pragma once

#include <cstdint>

// What decoding a frame may ask of whoever holds the frame: room for the pixels it is about to decode,
// a note of the pixels it then holds, and a listener for its progress. Passed into each decoding, so a
// frame needs no link back to its image.
class GifDecodeContext {
  public:
    enum class Stage { Starting, Running, Ending };

    // Before pixels more are decoded: the holder may free other frames' bitmaps to make room.
    virtual void makeRoom(int64_t pixels) = 0;
    // The frame now holds a decoded bitmap of pixels.
    virtual void held(int64_t pixels) = 0;
    virtual void progress(Stage stage, int percent) = 0;

  protected:
    ~GifDecodeContext() = default;
};
