#include "ReadableColour.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kReadableRatio = 4.5;

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    const QColor rgb = c.toRgb();
    return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

QColor mix(const QColor& from, const QColor& to, double t) {
    auto channel = [t](int a, int b) { return static_cast<int>(std::lround(a + t * (b - a))); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& wanted, const QColor& background) {
    if (contrastRatio(wanted, background) >= kReadableRatio)
        return wanted;
    const QColor white(255, 255, 255), black(0, 0, 0);
    const QColor towards =
        contrastRatio(white, background) >= contrastRatio(black, background) ? white : black;
    const QColor from = wanted.toRgb();
    for (int step = 1; step < 20; ++step) {
        const QColor c = mix(from, towards, step / 20.0);
        if (contrastRatio(c, background) >= kReadableRatio)
            return c;
    }
    return towards;
}
