#include "iec_fixture.hpp"

#include <stdexcept>

#include "vx/runtime.hpp"

namespace iec::testing {
namespace {

// The block's int area reaches past the cycle counter's cell, the float area
// past the period's.
constexpr std::int32_t kMaxInt = 600;

}  // namespace

Str::Str(const std::string& text, int capacity) {
    const int n = capacity < 0 ? static_cast<int>(text.size()) : capacity;
    cells_.assign(static_cast<std::size_t>(n) + 3, CharCell{});
    vx::set_start_value(cells_[0], static_cast<std::uint8_t>(n >> 8));
    vx::set_start_value(cells_[1], static_cast<std::uint8_t>(n & 0xFF));
    for (std::size_t i = 0; i < text.size() && i < static_cast<std::size_t>(n); ++i) {
        vx::set_start_value(cells_[3 + i], static_cast<std::uint8_t>(text[i]));
    }
}

Ints::Ints(std::int32_t first) : cells_(3) { vx::set_cur(cells_[2], first); }

Ints::Ints(std::int32_t first, std::int32_t second) : cells_(4) {
    vx::set_cur(cells_[2], first);
    vx::set_cur(cells_[3], second);
}

std::pair<std::int32_t, std::int32_t> Ints::value() const { return elements(cells_.data()); }

std::string text(const CharCell* s) {
    std::string t;
    const std::int32_t length = array_char_len(s);
    for (std::int32_t i = 0; i < length; ++i) t += static_cast<char>(vx::cur(s[3 + i]));
    return t;
}

std::int32_t capacity(const CharCell* s) { return array_char_size(s); }

std::pair<std::int32_t, std::int32_t> elements(const IntCell* t) { return {vx::cur(t[2]), vx::cur(t[3])}; }

std::int32_t element0(const IntCell* t) { return vx::cur(t[2]); }

void IecTest::SetUp() {
    const auto layout = vx::Layout::from_counts({8, kMaxInt, 20, 60});
    if (!layout) throw std::logic_error("test block layout");
    block_.assign(layout->space, std::byte{0});
    auto* header = reinterpret_cast<MemoryHeader*>(block_.data());
    vx::install_block(header, *layout);
    view_ = vx::executive_block();
    posmxsimucounter = kMaxInt - 2;
    simuperiod = view_.cell<FloatCell>(10);
    set_period(50000.0f);
    set_counter(1);
    free_all_alloc();
    LIBFB_ERR = 0;
}

void IecTest::TearDown() {
    vx::uninstall_block();
    simuperiod = nullptr;
    posmxsimucounter = 0;
}

void IecTest::set_period(float microseconds) { vx::set_cur(*simuperiod, microseconds); }

void IecTest::set_counter(std::int32_t value) { vx::set_cur(*view_.cell<IntCell>(posmxsimucounter), value); }

std::int32_t IecTest::counter() const { return vx::cur(*view_.cell<IntCell>(posmxsimucounter)); }

void IecTest::next_cycle() { set_counter(counter() == INT32_MAX ? 0 : counter() + 1); }

}  // namespace iec::testing
