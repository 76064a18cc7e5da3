// The symbol file: what the writer makes of a model, that the reader gives
// the model back, what else the reader accepts, and each malformed record
// named by its line.
#include <gtest/gtest.h>

#include "vx/grafcet/symbol_file.hpp"

namespace vx::grafcet {
namespace {

TEST(SymbolFile, WritesEveryTypeAndRoleAndReadsThemBack) {
    const SymbolFile file{"p",
                          {8, 530, 17, 53},
                          {{"a", CellType::Bool, 5, Role::Input},
                           {"y", CellType::Bool, 6, Role::Output},
                           {"X_1", CellType::Bool, 7, Role::Step},
                           {"X_1_PREV", CellType::Bool, 4, Role::Previous},
                           {"TIMER_1", CellType::Int, 523, Role::Timer},
                           {"simuperiod", CellType::Float, 10, Role::Control},
                           {"taskname", CellType::Char, 0, Role::Control},
                           {"posmxmicrostepcounter", CellType::Int, 529, Role::Control},
                           {"c1.CV", CellType::Int, 524, Role::Block},
                           {"belt.x", CellType::Float, 3, Role::Object}},
                          {{"belt", "conveyor", true, 525, 0}, {"box_1", "box", false, 526, 1}}};
    const std::string text = format_symbol_file(file, "Symbols of p; generated, do not edit.");
    EXPECT_EQ(text,
              "# Symbols of p; generated, do not edit.\n"
              "program p\n"
              "counts 8 530 17 53\n"
              "a B 5 input\ny B 6 output\nX_1 B 7 step\nX_1_PREV B 4 prev\nTIMER_1 I 523 timer\n"
              "simuperiod F 10 control\ntaskname C 0 control\nposmxmicrostepcounter I 529 control\n"
              "c1.CV I 524 block\nbelt.x F 3 object\n"
              "object belt conveyor actor 525 0\nobject box_1 box product 526 1\n");
    EXPECT_EQ(parse_symbol_file(text, "p.vars"), file);
}

TEST(SymbolFile, TabsCommentsBlankLinesAndCarriageReturnsAreAccepted) {
    const SymbolFile f = parse_symbol_file("# c\r\n\nprogram p\r\ncounts\t6 0 0 0\r\n  \n a\tB  5 input\r\n", "p.vars");
    ASSERT_NE(f.find("a"), nullptr);
    EXPECT_EQ(f.find("a")->index, 5);
    EXPECT_EQ(f.find("b"), nullptr);
}

TEST(SymbolFile, AnyWhiteSpaceSeparatesSoThatWhatIsReadWritesBackTheSame) {
    const SymbolFile f = parse_symbol_file("program p\r\r\r\ncounts 6 0 0 0\f\na\vB 5 input\r\r\n", "p.vars");
    EXPECT_EQ(f.program, "p");
    ASSERT_NE(f.find("a"), nullptr);
    EXPECT_EQ(parse_symbol_file(format_symbol_file(f, "again"), "again.vars"), f);
}

struct BadFile {
    const char* text;
    const char* message;  // the start of the error
};

class SymbolFileErrors : public ::testing::TestWithParam<BadFile> {};

TEST_P(SymbolFileErrors, NameTheLineAndTheFault) {
    try {
        parse_symbol_file(GetParam().text, "f.vars");
        FAIL() << "accepted";
    } catch (const SymbolFileError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, std::string(GetParam().message).size()), GetParam().message) << e.what();
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Table, SymbolFileErrors,
    ::testing::Values(BadFile{"", "f.vars:1: the 'program' record is missing"},
                      BadFile{"counts 1 2 3 4\n", "f.vars:1: the first record must be 'program <name>'"},
                      BadFile{"program p\n", "f.vars:1: the 'counts' record is missing"},
                      BadFile{"program p\ncounts 1 2 3\n", "f.vars:2: the second record must be"},
                      BadFile{"program p\ncounts 1 -2 3 4\n", "f.vars:2: '-2' is not a cell count"},
                      BadFile{"program p\ncounts 8 0 0 0\na X 5 input\n", "f.vars:3: 'X' is not a type letter"},
                      BadFile{"program p\ncounts 8 0 0 0\na BB 5 input\n", "f.vars:3: 'BB' is not a type letter"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 8 input\n", "f.vars:3: index 8 of a is outside the bool area (0 to 7)"},
                      BadFile{"program p\ncounts 8 0 0 0\na F 5 input\n", "f.vars:3: index 5 of a is outside the float area"},
                      BadFile{"program p\ncounts 8 0 0 0\na B -1 input\n", "f.vars:3: index -1 of a is outside"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5x input\n", "f.vars:3: index 5x of a is outside"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 4294967301 input\n", "f.vars:3: index 4294967301 of a is outside"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5 inout\n", "f.vars:3: 'inout' is not a role"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5\n", "f.vars:3: expected '<name> <B|I|F|C> <index> <role>'"},
                      BadFile{"program p\ncounts 8 0 0 0\na B 5 input\na B 6 output\n", "f.vars:4: the name a appears twice"},
                      BadFile{"program p\ncounts 0 1 16 0\nobject o m thing 0 0\n", "f.vars:3: 'thing' is not 'actor' or 'product'"},
                      BadFile{"program p\ncounts 0 1 16 0\nobject o m actor 1 0\n", "f.vars:3: index 1 of the status of o is outside the int area"},
                      BadFile{"program p\ncounts 0 1 16 0\nobject o m actor 0 1\n", "f.vars:3: index 1 of the matrix of o is outside the float area"},
                      BadFile{"program p\ncounts 0 1 16 0\nobject o m actor 0 0\nobject o m actor 0 0\n", "f.vars:4: the object o appears twice"}));
// clang-format on

}  // namespace
}  // namespace vx::grafcet
