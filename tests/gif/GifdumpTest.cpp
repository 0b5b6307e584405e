#include "gif/GifTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

struct ToolRun {
    std::string out;
    std::string err;
    int status = -1;
};

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ToolRun runGifdump(const std::string& arguments) {
    // A name of its own: ctest runs the cases of this suite side by side, each in its own process.
    const auto errPath = std::filesystem::temp_directory_path() /
                         ("tarvel-gifdump-stderr-" + std::to_string(std::random_device()()) + ".txt");
    ToolRun run;
#ifdef _WIN32
    // cmd.exe takes the whole line in quotes, and the program's path quoted inside it.
    const std::string command =
        "\"\"" + std::string(TARVEL_GIFDUMP) + "\" " + arguments + " 2>\"" + errPath.string() + "\"\"";
    FILE* pipe = _popen(command.c_str(), "rb");
#else
    const std::string command = std::string(TARVEL_GIFDUMP) + " " + arguments + " 2>" + errPath.string();
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.out.append(buffer.data(), n);
#ifdef _WIN32
    run.status = _pclose(pipe);
#else
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    run.err = readText(errPath);
#ifdef _WIN32
    // Its output is in text mode, whose lines end with CR LF.
    for (std::string* text : {&run.out, &run.err})
        for (std::size_t at; (at = text->find("\r\n")) != std::string::npos;)
            text->erase(at, 1);
#endif
    std::filesystem::remove(errPath);
    return run;
}

std::filesystem::path writeTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

} // namespace

TEST(Gifdump, PrintsTheImageLineAndOneLinePerFrame) {
    ToolRun run = runGifdump(std::string(TARVEL_GIF_TEST_DATA) + "/ball-loop3.gif");
    const std::string frame = " left=0 top=0 width=80 height=60 interlaced=0 local=0 depth=3 bpp=4 delay=250 "
                              "disposal=2 transparent=none corrupted=0\n";
    EXPECT_EQ(run.out, "version=89a screen=80x60 frames=4 looping=1 repeat=2 background=#ff0000\n"
                       "frame 0" +
                           frame + "frame 1" + frame + "frame 2" + frame + "frame 3" + frame);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

TEST(Gifdump, ReportsAnErrorAfterTheFramesThatWereRead) {
    GifBuilder gif("GIF87a");
    GifImageSpec frameSpec = countingFrame(3, 2);
    frameSpec.left = 1;
    frameSpec.top = 2;
    gif.screen(5, 4, GifBuilder::palette(4), 9).graphicControl(7, 1, uint8_t{2}).image(frameSpec);
    gif.raw({0x21, 0x2C}).trailer();
    const auto path = writeTemp("tarvel-gifdump-error.gif", gif.bytes());
    ToolRun run = runGifdump(path.string());
    EXPECT_EQ(run.out, "version=87a screen=5x4 frames=1 looping=0 repeat=1 background=none\n"
                       "frame 0 left=1 top=2 width=3 height=2 interlaced=0 local=0 depth=2 bpp=4 delay=70 "
                       "disposal=1 transparent=#02fd0e corrupted=0\n");
    EXPECT_EQ(run.err, "error: Unrecognized extension block: 2C\n");
    EXPECT_EQ(run.status, 1);
    std::filesystem::remove(path);
}

TEST(Gifdump, WritesIndexesAndPaletteOfEveryFrame) {
    GifBuilder gif;
    GifImageSpec second = countingFrame(4, 3, 2);
    second.localTable = GifBuilder::palette(2);
    gif.screen(6, 5, GifBuilder::palette(4)).image(countingFrame(6, 5)).image(second).trailer();
    const auto path = writeTemp("tarvel-gifdump-frames.gif", gif.bytes());
    const auto dir = std::filesystem::temp_directory_path() / "tarvel-gifdump-frames";
    std::filesystem::remove_all(dir);
    ToolRun run = runGifdump("--frames " + dir.string() + " " + path.string());
    EXPECT_EQ(run.status, 0) << run.err;

    const std::string indexes0 = readText(dir / "frame-0.idx");
    EXPECT_EQ(std::vector<uint8_t>(indexes0.begin(), indexes0.end()), countingFrame(6, 5).pixels);
    EXPECT_EQ(readText(dir / "frame-0.pal").size(), 16u * 3) << "a 4-colour table gives a 4-bit palette";
    EXPECT_EQ(readText(dir / "frame-1.idx").size(), 12u);
    const std::string palette1 = readText(dir / "frame-1.pal");
    ASSERT_EQ(palette1.size(), 2u * 3);
    EXPECT_EQ(static_cast<uint8_t>(palette1[3]), GifBuilder::palette(2)[1].r);
    EXPECT_EQ(static_cast<uint8_t>(palette1[4]), GifBuilder::palette(2)[1].g);
    std::filesystem::remove_all(dir);
    std::filesystem::remove(path);
}
