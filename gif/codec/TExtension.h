#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One extension block as read from the file.
class TExtension {
  public:
    enum Type : uint8_t { GraphicControl = 0, PlainText = 1, Application = 2, Comment = 3 };

    Type type = GraphicControl;
    std::vector<std::string> data;   // one string per data sub-block, in order (empty: none)
    std::array<uint8_t, 13> fixed{}; // the fixed bytes as read
    int fixedCount = 0;

    // Graphic control fields (valid for type GraphicControl).
    uint8_t packed() const { return fixed[1]; }
    uint16_t delay() const { return static_cast<uint16_t>(fixed[2] | (fixed[3] << 8)); } // hundredths
    uint8_t transparentIndex() const { return fixed[4]; }
};
