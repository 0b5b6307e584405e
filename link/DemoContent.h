#pragma once
// The sections a new virtual phone starts with: an application of each recognised type, an animated GIF,
// unknown data and a section of size 0; every other section is empty.
#include <QByteArray>
#include <cstdint>
#include <vector>

struct DemoSection {
    uint8_t group;
    uint8_t number;
    QByteArray content;
};

std::vector<DemoSection> demoSections();

// A section image of an application: the 20-byte header, then size - 20 bytes of program.
QByteArray demoApplication(uint8_t fwRevision, uint8_t fwVersion, uint16_t appType, const QByteArray& name,
                           int size);
