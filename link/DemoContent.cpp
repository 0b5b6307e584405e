#include "DemoContent.h"

#include <QFile>

QByteArray demoApplication(uint8_t fwRevision, uint8_t fwVersion, uint16_t appType, const QByteArray& name,
                           int size) {
    QByteArray bytes(size, '\0');
    bytes[0] = static_cast<char>(fwRevision);
    bytes[1] = static_cast<char>(fwVersion);
    bytes[2] = static_cast<char>(appType & 0xFF);
    bytes[3] = static_cast<char>(appType >> 8);
    for (int i = 0; i < 16 && i < name.size(); ++i)
        bytes[4 + i] = name[i];
    // A repeatable stand-in for program code.
    uint32_t x = 0x2545F491u ^ appType;
    for (int i = 20; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

std::vector<DemoSection> demoSections() {
    QFile gif(":/demo/demo-animation.gif");
    QByteArray animation;
    if (gif.open(QIODevice::ReadOnly))
        animation = gif.readAll();

    QByteArray notes;
    for (int i = 1; notes.size() < 3000; ++i)
        notes += "Phone book entry " + QByteArray::number(i) + ": +48 600 000 " +
                 QByteArray::number(100 + i) + "\r\n";

    return {
        {2, 10, demoApplication(4, 0x14, 0x2005, "Snake J5        ", 1536)},
        {2, 11, demoApplication(42, 0x1B, 0x2003, QByteArray("Calc J70\0\0\0\0\0\0\0\0", 16), 912)},
        {2, 15, QByteArray()},
        {18, 9, demoApplication(0, 0, 0x30C0, "PGLDR3 Tetris   ", 8420)},
        {18, 10, demoApplication(0, 0, 0x2000, "UFIF Clock      ", 3074)},
        {18, 11, animation},
        {18, 12, notes},
    };
}
