#include "GifStatus.h"

#include <gtest/gtest.h>

#include <new>

TEST(GifStatus, EachFailureHasTheTextUsersAreShown) {
    EXPECT_EQ(gifStatusText(GifStatus::bad_header), "Unknown GIF version");
    EXPECT_EQ(gifStatusText(GifStatus::bad_extension_label, 0x2C), "Unrecognized extension block: 2C");
    EXPECT_EQ(gifStatusText(GifStatus::bad_extension_label, 0x0a), "Unrecognized extension block: 0A")
        << "the label is two upper-case hex digits";
    EXPECT_EQ(gifStatusText(GifStatus::bad_block), "Stream read error");
    EXPECT_EQ(gifStatusText(GifStatus::truncated_input), "Stream read error");
    EXPECT_EQ(gifStatusText(GifStatus::too_much_pixel_data), "Image is too large");
    EXPECT_EQ(gifStatusText(GifStatus::missing_color_table), "Wrong number of colors; must be a power of 2");
    EXPECT_EQ(gifStatusText(GifStatus::out_of_memory), std::bad_alloc().what());
}

TEST(GifStatus, StatusesThatAreNotFailuresHaveNoText) {
    EXPECT_EQ(gifStatusText(GifStatus::ok), "");
    EXPECT_EQ(gifStatusText(GifStatus::bad_lzw_code), "");
}
