// Plays a GIF in an animator inside a dialog for a while, the dialog shown or hidden, so that the whole
// process's CPU time can be measured from outside (bench/gif/anim-cpu runs it under /usr/bin/time -v).
//
//   anim_cpu_play shown|hidden SECONDS FILE
#include "TGIFAnimator.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4 || (std::string(argv[1]) != "shown" && std::string(argv[1]) != "hidden")) {
        std::fprintf(stderr, "usage: anim_cpu_play shown|hidden SECONDS FILE\n");
        return 2;
    }
    const bool shown = std::string(argv[1]) == "shown";
    const int seconds = std::stoi(argv[2]);
    std::ifstream in(argv[3], std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.empty()) {
        std::fprintf(stderr, "anim_cpu_play: cannot read %s\n", argv[3]);
        return 2;
    }

    // The View dialog's GIF panel: 449 x 225, the animator filling it, centred, animating.
    QDialog dialog;
    dialog.resize(449, 225);
    auto* gif = new TGIFAnimator(&dialog);
    gif->setAlign(TAlign::alClient);
    gif->setCenter(true);
    int steps = 0;
    gif->OnFrameChanged = [&](TGIFAnimator*) { ++steps; };
    gif->loadImageFromBytes(bytes.data(), bytes.size());
    gif->setAnimate(true);
    if (shown)
        dialog.show();

    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("%s: %d frame steps in %d s, %d frames of %dx%d\n", shown ? "shown" : "hidden", steps,
                seconds, gif->image().frameCount(), gif->image().screenWidth(), gif->image().screenHeight());
    return 0;
}
