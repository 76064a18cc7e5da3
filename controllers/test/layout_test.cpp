// The five controllers' cells as the generator derives them, against their
// documented tables: symbol files, cell counts and the block layout they
// produce.
#include <gtest/gtest.h>

#include "expected_layouts.hpp"
#include "symbol_file.hpp"
#include "vx/block.hpp"

namespace vx::controllers {
namespace {

class ControllerLayout : public ::testing::TestWithParam<ExpectedLayout> {
protected:
    SymbolFile symbols() const { return load_symbols(std::string(VX_BIN_DIR) + "/" + GetParam().program + ".vars"); }
};

TEST_P(ControllerLayout, CellsSitAtTheirIndexes) {
    const SymbolFile file = symbols();
    EXPECT_EQ(file.program, GetParam().program);
    EXPECT_EQ(file.counts, GetParam().counts);
    std::string cells;
    for (const Symbol& e : file.symbols) {
        if (e.role == Role::Control) continue;
        if (!cells.empty()) cells += ' ';
        cells += e.name + " " + std::to_string(e.index);
        EXPECT_EQ(type_letter(e.type), e.role == Role::Timer ? 'I' : 'B') << e.name;
    }
    EXPECT_EQ(cells, GetParam().cells);
}

TEST_P(ControllerLayout, CountsGiveTheBlockLayout) {
    const auto layout = Layout::from_counts(symbols().counts);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->offset, GetParam().offsets);
    EXPECT_EQ(layout->space, GetParam().space);
    const SymbolFile file = symbols();
    EXPECT_EQ(index_of(file, "pospid"), GetParam().pospid);
    EXPECT_EQ(index_of(file, "posmxsimucounter"), GetParam().posmxsimucounter);
    EXPECT_EQ(index_of(file, "posmxmicrostepcounter"), GetParam().posmxsimucounter + 1);
}

// The control variables close every symbol file, in the same order and at
// the same cells.
TEST_P(ControllerLayout, ControlVariablesAreTheRuntimes) {
    std::string controls;
    const SymbolFile file = symbols();
    for (const Symbol& e : file.symbols)
        if (e.role == Role::Control)
            controls += e.name + " " + type_letter(e.type) + " " + std::to_string(e.index) + "\n";
    EXPECT_EQ(controls,
              "traceon B 0\nresettrace B 1\nvx_delay B 2\nallowpreconditions B 3\nallowpostconditions B 4\n"
              "execstatus I 311\nbpnoline I 312\nbpnoinstance I 414\nbpcurrentinstance I 516\n"
              "bpcurrentlocation I 517\nbpcurrentprepostcode I 518\nbpcurrenttypeerror I 519\nbpcurrentrank I 520\n"
              "signature I 521\ngenerationtime I 522\nsimuperiod F 10\nminsimuperiod F 11\nmaxsimuperiod F 12\n"
              "realsimuperiod F 13\nmxmeanvariablemodification F 14\nmxminvariablemodification F 15\n"
              "mxmaxvariablemodification F 16\ntaskname C 0\npospid I " +
                  std::to_string(GetParam().pospid) + "\nposmxsimucounter I " +
                  std::to_string(GetParam().posmxsimucounter) + "\nposmxmicrostepcounter I " +
                  std::to_string(GetParam().posmxsimucounter + 1) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Controllers, ControllerLayout, ::testing::ValuesIn(kExpectedLayouts),
                         [](const auto& p) { return p.param.program; });

}  // namespace
}  // namespace vx::controllers
