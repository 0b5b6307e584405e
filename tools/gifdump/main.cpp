// gifdump [--frames DIR] [--compose DIR] FILE
// Prints the image line and one line per frame (decoding every frame); on an error prints
// "error: TEXT" on standard error and exits with 1. --frames DIR also writes frame-I.idx (palette
// indexes, top row first) and frame-I.pal (3 bytes per palette entry) for every frame.
// --compose DIR writes frame-I.rgba for every frame: the animator's composition of frame I as painted
// with Transparent on, screen width x height x 4 bytes, RGBA, top row first, alpha 0 where the
// composition's transparent colour shows and 255 elsewhere; the window colour is white.
#include "GifComposer.h"
#include "GifErrors.h"
#include "TGIFImage.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string file;
    std::optional<std::filesystem::path> framesDir;
    std::optional<std::filesystem::path> composeDir;
};

const char* const kUsage = "usage: gifdump [--frames DIR] [--compose DIR] FILE\n";

// Returns false on a malformed command line.
bool parseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--frames" && i + 1 < argc) {
            options.framesDir = argv[++i];
        } else if (arg == "--compose" && i + 1 < argc) {
            options.composeDir = argv[++i];
        } else if (arg.rfind("--", 0) == 0 || !options.file.empty()) {
            return false;
        } else {
            options.file = arg;
        }
    }
    return !options.file.empty();
}

std::string colourText(const std::optional<GifColor>& colour) {
    if (!colour)
        return "none";
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour->r, colour->g, colour->b);
    return text;
}

const char* versionText(int version) {
    switch (version) {
    case 1:
        return "87a";
    case 2:
        return "89a";
    default:
        return "none";
    }
}

void writeFile(const std::filesystem::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void writeFrame(const std::filesystem::path& dir, int index, const GifBitmap& bitmap) {
    const std::string stem = "frame-" + std::to_string(index);
    writeFile(dir / (stem + ".idx"), bitmap.pixels.data(), bitmap.pixels.size());
    std::vector<uint8_t> palette;
    for (const GifColor& c : bitmap.palette)
        palette.insert(palette.end(), {c.r, c.g, c.b});
    writeFile(dir / (stem + ".pal"), palette.data(), palette.size());
}

// Composes each frame in turn, as the animation steps through them.
void writeCompositions(const std::filesystem::path& dir, TGIFImage& image) {
    std::filesystem::create_directories(dir);
    GifComposer composer;
    for (int i = 0; i < image.frameCount(); ++i) {
        if (!composer.compose(image, i)) {
            const GifStatus status = composer.takeStatus();
            throw std::runtime_error(status == GifStatus::ok ? "nothing to compose" : gifStatusText(status));
        }
        if (const GifStatus status = composer.takeStatus(); status != GifStatus::ok)
            throw std::runtime_error(gifStatusText(status));
        const std::vector<uint8_t> rgba = composer.rgba();
        writeFile(dir / ("frame-" + std::to_string(i) + ".rgba"), rgba.data(), rgba.size());
    }
}

int fail(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "error: %s\n", text.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    TGIFImage image;
    std::optional<std::string> loadError;
    try {
        image.loadFromFile(options.file);
    } catch (const std::exception& e) {
        loadError = e.what();
    }

    std::printf("version=%s screen=%dx%d frames=%d looping=%d repeat=%u background=%s\n",
                versionText(image.version()), image.screenWidth(), image.screenHeight(), image.frameCount(),
                image.looping() ? 1 : 0, unsigned{image.repeatCount()},
                colourText(image.backgroundColor()).c_str());
    try {
        if (options.framesDir)
            std::filesystem::create_directories(*options.framesDir);
        for (int i = 0; i < image.frameCount(); ++i) {
            const TGIFFrame& frame = image.frame(i);
            const GifBitmap& bitmap = image.frameBitmap(i);
            std::printf("frame %d left=%d top=%d width=%d height=%d interlaced=%d local=%d depth=%d bpp=%d "
                        "delay=%u disposal=%u transparent=%s corrupted=%d\n",
                        i, frame.left(), frame.top(), frame.width(), frame.height(),
                        frame.interlaced() ? 1 : 0, frame.localColors() ? 1 : 0, frame.colorDepth(),
                        bitmap.depth, unsigned{frame.delay()}, unsigned{frame.disposal()},
                        colourText(frame.transparentColor()).c_str(), frame.corrupted() ? 1 : 0);
            if (options.framesDir)
                writeFrame(*options.framesDir, i, bitmap);
        }
        if (options.composeDir)
            writeCompositions(*options.composeDir, image);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    if (loadError)
        return fail(*loadError);
    return 0;
}
