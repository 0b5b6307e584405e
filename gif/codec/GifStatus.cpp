#include "GifStatus.h"

#include <cstdio>
#include <new>

std::string gifStatusText(GifStatus status, uint8_t extensionLabel) {
    switch (status) {
    case GifStatus::ok:
    case GifStatus::bad_lzw_code:
        return {};
    case GifStatus::bad_header:
        return "Unknown GIF version";
    case GifStatus::bad_extension_label: {
        char text[64];
        std::snprintf(text, sizeof text, "Unrecognized extension block: %.2X", extensionLabel);
        return text;
    }
    case GifStatus::bad_block:
    case GifStatus::truncated_input:
        return "Stream read error";
    case GifStatus::too_much_pixel_data:
        return "Image is too large";
    case GifStatus::missing_color_table:
        return "Wrong number of colors; must be a power of 2";
    case GifStatus::out_of_memory:
        // What the allocation failure itself says, as when it was passed on as it came.
        return std::bad_alloc().what();
    }
    return {};
}
