// The symbol file: what it accepts, and each malformed record named by line.
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

TEST(Symbols, TabsCommentsBlankLinesAndCarriageReturnsAreAccepted) {
    const SymbolTable t = parse_symbols("# c\r\n\nprogram p\r\ncounts\t6 0 0 0\r\n  \n a\tB  5 input\r\n", "p.vars");
    ASSERT_NE(t.find("a"), nullptr);
    EXPECT_EQ(t.find("a")->index, 5);
}

struct BadFile {
    const char* text;
    const char* message;  // the error, after "f.vars:"
};

class SymbolErrors : public ::testing::TestWithParam<BadFile> {};

TEST_P(SymbolErrors, NameTheLineAndTheFault) {
    try {
        parse_symbols(GetParam().text, "f.vars");
        FAIL() << "accepted";
    } catch (const Failure& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, std::string(GetParam().message).size()), GetParam().message) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SymbolErrors,
    ::testing::Values(BadFile{"", "f.vars:1: the 'program' record is missing"},
                      BadFile{"counts 1 2 3 4\n", "f.vars:1: the first record must be 'program <name>'"},
                      BadFile{"program p\n", "f.vars:1: the 'counts' record is missing"},
                      BadFile{"program p\ncounts 1 2 3\n", "f.vars:2: the second record must be"},
                      BadFile{"program p\ncounts 1 -2 3 4\n", "f.vars:2: '-2' is not a cell count"},
                      BadFile{"program p\ncounts 8 0 0 0\na X 5 input\n", "f.vars:3: 'X' is not a type letter"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 8 input\n", "f.vars:3: index 8 of a is outside the bool area (0 to 7)"},
                      BadFile{"program p\ncounts 8 0 0 0\na B -1 input\n", "f.vars:3: index -1 of a is outside"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5x input\n", "f.vars:3: index 5x of a is outside"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5 inout\n", "f.vars:3: 'inout' is not a role"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5\n", "f.vars:3: expected '<name> <B|I|F|C> <index> <role>'"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5 input\na B 6 output\n", "f.vars:4: the name a appears twice"}));

TEST(Symbols, CloseNamesSuggestSlipsAndCaseNearestFirst) {
    const SymbolTable t = parse_symbols(testing::kLightSymbols, "light.vars");
    EXPECT_EQ(t.close_names("jur"), std::vector<std::string>{"jour"});
    EXPECT_EQ(t.close_names("VERT").front(), "vert");
    EXPECT_EQ(t.close_names("vert_pietn").front(), "vert_pieton");
    EXPECT_TRUE(t.close_names("capteurB").empty());
}

}  // namespace
}  // namespace vx::console
