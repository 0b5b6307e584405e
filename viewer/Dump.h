#pragma once
// The View dialog's two renderings of a section's bytes, as 8-bit text (one char per byte, in the
// phone's character set): Text Mode and Binary Mode. Bytes below 32 show as ".".
#include <cstddef>
#include <cstdint>
#include <string>

namespace Dump {

// One character per byte, no line breaks.
std::string text(const uint8_t* bytes, std::size_t count);

// Lines of twelve bytes: two upper-case hex digits and a blank per byte, "| ", the twelve characters,
// then "\r\n". The last line (never padded, possibly empty) has no line break: an empty input is "| ".
std::string hex(const uint8_t* bytes, std::size_t count);

inline constexpr std::size_t kBytesPerLine = 12;

} // namespace Dump
