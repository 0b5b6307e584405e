#include "GifPixelBudget.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

TEST(GifPixelBudget, FreesTheFramesDecodedLongestAgoUntilTheNewOneFits) {
    GifPixelBudget budget(100);
    const std::map<int, int64_t> sizes{{3, 40}, {1, 40}, {7, 20}};
    for (const int index : {3, 1, 7})
        budget.add(index, sizes.at(index));
    std::vector<int> freed;
    const auto release = [&](int index) {
        freed.push_back(index);
        return sizes.at(index);
    };

    budget.makeRoom(0, release);
    EXPECT_TRUE(freed.empty()) << "a full budget with room for nothing more freed a frame";
    budget.makeRoom(50, release);
    EXPECT_EQ(freed, (std::vector<int>{3, 1})) << "the two frames decoded first should go";
    EXPECT_EQ(budget.held(), 20);
    EXPECT_EQ(budget.evictions(), 2);

    budget.makeRoom(1000, release); // more than the budget: everything goes, the new frame is decoded anyway
    EXPECT_EQ(freed, (std::vector<int>{3, 1, 7}));
    EXPECT_EQ(budget.held(), 0);
    budget.clear();
    budget.makeRoom(1000, release);
    EXPECT_EQ(budget.evictions(), 3);
}
