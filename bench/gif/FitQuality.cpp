// fit_quality SOURCE RESULT.gif...: for each result, its bytes, size, frames, colours and PSNR against
// the source scaled to the result's size, as tarvel-cli fit measures its own; bench/gif/fit-compare
// prints them for Tarvel, gifsicle and ImageMagick side by side.
#include "GifFitter.h"
#include "ImageScaler.h"
#include "PictureFile.h"

#include <QFileInfo>
#include <cstdio>
#include <set>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fit_quality SOURCE RESULT.gif...\n");
        return 2;
    }
    const PictureLoad source = PictureFile::load(argv[1]);
    if (!source.source) {
        std::fprintf(stderr, "fit_quality: %s %s\n", argv[1], qPrintable(source.error));
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const PictureLoad result = PictureFile::load(argv[i]);
        if (!result.source) {
            std::printf("%s - - - - -\n", argv[i]);
            continue;
        }
        const std::vector<RgbaImage>& got = result.source->frames;
        const std::vector<RgbaImage>& want = source.source->frames;
        // Each result frame against the source frame shown at the same point of the animation.
        double sum = 0;
        std::set<uint32_t> colours;
        for (size_t f = 0; f < got.size(); ++f) {
            const size_t s = got.size() == want.size() ? f : f * want.size() / got.size();
            const RgbaImage scaled = ImageScaler::scale(want[s], got[f].width, got[f].height);
            sum += rgbaPsnr(scaled, got[f]);
            for (size_t p = 0; p + 3 < got[f].rgba.size(); p += 4)
                colours.insert(uint32_t{got[f].rgba[p]} << 24 | uint32_t{got[f].rgba[p + 1]} << 16 |
                               uint32_t{got[f].rgba[p + 2]} << 8 | got[f].rgba[p + 3]);
        }
        std::printf("%s %lld %dx%d %zu %zu %.2f\n", argv[i],
                    static_cast<long long>(QFileInfo(argv[i]).size()), got[0].width, got[0].height,
                    got.size(), colours.size(), sum / static_cast<double>(got.size()));
    }
    return 0;
}
