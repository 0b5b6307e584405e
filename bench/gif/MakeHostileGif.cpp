// make_hostile_gif KIND FRAMES FILE: writes a hostile GIF (KIND tiny, cap, previous or dense) of FRAMES
// frames.
#include "support/HostileGifs.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const std::string kind = argc == 4 ? argv[1] : "";
    if (kind != "tiny" && kind != "cap" && kind != "previous" && kind != "dense") {
        std::fputs("usage: make_hostile_gif tiny|cap|previous|dense FRAMES FILE\n", stderr);
        return 2;
    }
    const std::vector<uint8_t> bytes = hostile::gif(hostile::kindNamed(kind), std::atoi(argv[2]));
    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
