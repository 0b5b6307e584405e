#pragma once

#include <cstdint>
#include <string>

// Why decoding stopped, or that it did not: the one set of outcomes the codec's layers pass up to
// TGIFImage, which turns a failure into the exception its callers see (EReadError for truncated_input,
// std::bad_alloc for out_of_memory, EInvalidGraphicOperation for the rest).
enum class GifStatus : uint8_t {
    ok,
    // Not a failure: the frame's LZW data is damaged (a code size outside 2..9, a code whose string never
    // ends); it was decoded as far as it goes and the frame is flagged corrupted.
    bad_lzw_code,
    bad_header,          // the signature is not "GIF", or the version neither "87a" nor "89a"
    bad_extension_label, // an extension of a kind GIF does not define
    bad_block,           // a byte that starts no block where a block must start
    truncated_input,     // the data ends inside a block that must be whole
    too_much_pixel_data, // a frame, an image or a screen above its pixel limit
    missing_color_table, // a frame with neither a local nor a global colour table
    out_of_memory,       // the pixels of a frame could not be allocated
};

// The text shown to the user for status; extensionLabel is the label that bad_extension_label names.
// Empty for ok and bad_lzw_code, which are not failures.
std::string gifStatusText(GifStatus status, uint8_t extensionLabel = 0);
