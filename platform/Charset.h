#pragma once
// The 8-bit character set in which the phone's bytes are shown as text: East European (Windows-1250).
#include <QString>
#include <cstddef>
#include <cstdint>

namespace Charset {

// The character for one byte. Bytes below 128 are ASCII; 128-255 follow Windows-1250 (the five
// bytes that code page leaves undefined map to the C1 control of the same number, as Windows does).
QChar toUnicode(uint8_t byte);

// Section bytes as text for labels and the list: every byte as its character, except zero bytes,
// which show as nothing (neither a box nor the end of the string).
QString sectionText(const uint8_t* bytes, std::size_t count);
QString sectionText(const std::string& bytes);

} // namespace Charset
