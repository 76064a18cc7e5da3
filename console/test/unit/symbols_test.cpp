// The console's symbol table: what it finds by name, cell and role, the
// names it suggests, and a malformed file reported as a failure.
#include <gtest/gtest.h>

#include "fake_block.hpp"
#include "vx/console/error.hpp"

namespace vx::console {
namespace {

TEST(Symbols, ReadsProgramCountsAndRecordsInOrder) {
    const SymbolTable t = parse_symbols(testing::kLightSymbols, "light.vars");
    EXPECT_EQ(t.program, "light");
    EXPECT_EQ(t.counts, (std::array<std::int32_t, 4>{16, 532, 17, 53}));
    ASSERT_NE(t.find("TIMER_21"), nullptr);
    EXPECT_EQ(t.find("TIMER_21")->type, CellType::Int);
    EXPECT_EQ(t.find("TIMER_21")->index, 523);
    EXPECT_EQ(t.find("TIMER_21")->role, Role::Timer);
    EXPECT_EQ(t.at(CellType::Bool, 12)->name, "X_20");
    EXPECT_EQ(t.at(CellType::Int, 12), nullptr);
    ASSERT_EQ(t.with_role(Role::Input).size(), 2u);
    EXPECT_EQ(t.with_role(Role::Output).front()->name, "vert");
}

// The reader's own errors are the generator's tests' business; the console
// reports them as its failures, which vxctl prints before exiting with 1.
TEST(Symbols, AMalformedFileIsAFailureNamingTheLine) {
    try {
        parse_symbols("program p\ncounts 8 0 0 0\na B 8 input\n", "f.vars");
        FAIL() << "accepted";
    } catch (const Failure& e) {
        EXPECT_STREQ(e.what(), "f.vars:3: index 8 of a is outside the bool area (0 to 7)");
    }
}

TEST(Symbols, CloseNamesSuggestSlipsAndCaseNearestFirst) {
    const SymbolTable t = parse_symbols(testing::kLightSymbols, "light.vars");
    EXPECT_EQ(t.close_names("jur"), std::vector<std::string>{"jour"});
    EXPECT_EQ(t.close_names("VERT").front(), "vert");
    EXPECT_EQ(t.close_names("vert_pietn").front(), "vert_pieton");
    EXPECT_TRUE(t.close_names("capteurB").empty());
}

}  // namespace
}  // namespace vx::console
