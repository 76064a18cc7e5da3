// A graph without outputs, actions or step times (graphs/bare.grafcet): its
// modules compile and it evolves.
#include "controller_test.hpp"

namespace vx::controllers {
namespace {

using Bare = ControllerTest;

TEST_F(Bare, EvolvesWithoutGraphIntCells) {
    EXPECT_EQ(symbols_.counts, (std::array<std::int32_t, 4>{8, 527, 17, 53}));
    EXPECT_EQ(x().steps(), std::vector<int>{1});
    x().set("a", true);
    pass();
    EXPECT_EQ(x().steps(), std::vector<int>{2});
    x().set("a", false);
    pass();
    EXPECT_EQ(x().steps(), std::vector<int>{1});
}

}  // namespace
}  // namespace vx::controllers
