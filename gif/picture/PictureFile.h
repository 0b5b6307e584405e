#pragma once
// Reads a picture to fit into a section: a GIF through Tarvel's decoder and composition (every frame as
// it shows, with its delays and loop), anything else (PNG, JPEG, BMP...) through Qt's image readers.
#include "GifFitter.h"

#include <QString>
#include <optional>

struct PictureLoad {
    std::optional<FitSource> source;
    QString error; // why there is none: "cannot be read", "is no picture"...
};

namespace PictureFile {

// Files and compositions larger than these are refused rather than read.
inline constexpr int64_t kMaxFileBytes = int64_t{64} << 20;
inline constexpr int64_t kMaxPixels = int64_t{1} << 26; // over all frames

PictureLoad load(const QString& path);
// The same from bytes already read (a GIF by its signature, else by Qt's readers).
PictureLoad fromBytes(const QByteArray& bytes);
// What a fit made, as both the window and tarvel-cli state it: "33x33, 24 colours, 50 frames, PSNR 22.9 dB"
// ("24 colours per frame" with local tables).
QString fitSummary(const FitResult& result);
// Whether bytes are a GIF (its signature), which the phone's animation application can show as it is.
bool isGif(const QByteArray& bytes);
// Whether bytes (a file's first bytes are enough) begin a PNG, JPEG or BMP, by their content.
bool isStillPicture(const QByteArray& bytes);

} // namespace PictureFile
