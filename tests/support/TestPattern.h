#pragma once
// Bytes that differ from position to position and from seed to seed, for section contents that a test
// must find again unchanged.
#include <QByteArray>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> pattern(int size, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

inline QByteArray patternBytes(int size, int seed) {
    const std::vector<uint8_t> bytes = pattern(size, static_cast<uint8_t>(seed));
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), size);
}
