// A laid-out block in this process's memory, with a symbol table, for tests
// that need no controller program.
#pragma once

#include <cstdint>
#include <vector>

#include "vx/block.hpp"
#include "vx/console/session.hpp"
#include "vx/console/symbols.hpp"

namespace vx::console::testing {

// The cells of a small traffic light: the shape of the real controllers'
// symbol files, with their control cells.
inline constexpr const char* kLightSymbols = R"(# a light
program light
counts 16 532 17 53
jour B 5 input
nuit B 6 input
vert B 7 output
rouge B 8 output
orange B 9 output
vert_pieton B 10 output
rouge_pieton B 11 output
X_20 B 12 step
X_21 B 13 step
X_21_PREV B 14 prev
TIMER_21 I 523 timer
traceon B 0 control
resettrace B 1 control
execstatus I 311 control
simuperiod F 10 control
taskname C 0 control
pospid I 529 control
posmxsimucounter I 530 control
posmxmicrostepcounter I 531 control
)";

class FakeBlock {
public:
    explicit FakeBlock(const char* symbols = kLightSymbols)
        : table_(parse_symbols(symbols, "light.vars")) {
        const auto layout = *Layout::from_counts(table_.counts);
        storage_.assign(layout.space / 8 + 1, 0);
        auto* header = reinterpret_cast<MemoryHeader*>(storage_.data());
        write_layout(*header, layout);
        view_ = BlockView(header, layout);
        set_cur(*view_.cell<FloatCell>(10), 50000.0f);
    }

    Session session() const { return Session(view_, table_, "fake"); }
    const BlockView& view() const { return view_; }
    MemoryHeader& header() const { return *view_.header(); }
    BoolCell& b(std::int32_t i) const { return *view_.cell<BoolCell>(i); }
    IntCell& i(std::int32_t i) const { return *view_.cell<IntCell>(i); }
    FloatCell& f(std::int32_t i) const { return *view_.cell<FloatCell>(i); }
    CharCell& c(std::int32_t i) const { return *view_.cell<CharCell>(i); }

private:
    SymbolTable table_;
    std::vector<std::uint64_t> storage_;
    BlockView view_;
};

}  // namespace vx::console::testing
