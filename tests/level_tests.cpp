#include "level/LevelFile.h"

#include <gtest/gtest.h>

namespace vantrell {
namespace {

TEST(SpacePartition, NeighboursComeOutInBitOrder) {
    SpacePartition p;
    p.setAdjacency({{0x01, 0x80}, {0xFF}});
    std::vector<std::int32_t> list{42};
    p.neighbours(0, list);
    EXPECT_EQ(list, (std::vector<std::int32_t>{42, 0, 15}));
    list.clear();
    p.neighbours(1, list);
    EXPECT_EQ(list, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace vantrell
