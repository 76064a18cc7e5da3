// Time and date: one line per case, the elements of the result (one for DATE
// and TOD, two for TIME and DT) and the error code it leaves; selection and
// comparison once over the four types.
#include <array>
#include <functional>
#include <limits>
#include <vector>

#include "iec_fixture.hpp"

namespace iec::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr std::int32_t kMax = INT32_MAX;
constexpr std::int32_t kMin = INT32_MIN;
constexpr std::int32_t kDay = 864'000'000;
// The saturation bounds: the largest and smallest totals whose day count
// fits a DINT, in normal form.
const std::vector<std::int32_t> kLargest{kMax, kDay - 1};
const std::vector<std::int32_t> kSmallest{kMin, -(kDay - 1)};

struct Case {
    const char* what;
    std::function<IntCell*()> call;
    std::vector<std::int32_t> expected;
    std::int32_t error;
};

class TimeDate : public IecTest {
protected:
    void check(const Case& c) {
        LIBFB_ERR = 4242;  // every entry clears what an earlier call left
        const IntCell* result = c.call();
        const std::vector<std::int32_t> got = c.expected.size() == 1
                                                  ? std::vector<std::int32_t>{element0(result)}
                                                  : std::vector<std::int32_t>{elements(result).first,
                                                                              elements(result).second};
        EXPECT_EQ(got, c.expected) << c.what;
        EXPECT_EQ(LIBFB_ERR, c.error) << c.what;
    }
};

TEST_F(TimeDate, Arithmetic) {
    const Case kCases[] = {
        {"add_time carries into the days", [] { return add_time_OUT(Ints(0, kDay - 1), Ints(0, 1)); }, {1, 0}, 0},
        {"add_time of mixed signs", [] { return add_time_OUT(Ints(1, -1), Ints(-1, -5)); }, {0, -6}, 0},
        {"add_time saturates", [] { return add_time_OUT(Ints(kMax, kMax), Ints(kMax, kMax)); }, kLargest, 0},
        {"sub_time saturates", [] { return sub_time_OUT(Ints(kMin, kMin), Ints(kMax, kMax)); }, kSmallest, 0},
        {"add_tod_t ignores days, wraps", [] { return add_tod_t_OUT(Ints(863'999'000), Ints(5, 2000)); }, {1000}, 0},
        {"add_tod_t wraps once", [] { return add_tod_t_OUT(Ints(0), Ints(0, 2 * kDay)); }, {kDay}, 0},
        {"add_tod_t stays negative", [] { return add_tod_t_OUT(Ints(0), Ints(0, -10)); }, {-10}, 0},
        {"add_tod_t no overflow", [] { return add_tod_t_OUT(Ints(kDay - 1), Ints(0, kMax)); }, {kMax - 1}, 0},
        {"add_tod_t saturates high", [] { return add_tod_t_OUT(Ints(kMax), Ints(0, kMax)); }, {kMax}, 0},
        {"sub_tod_t wraps", [] { return sub_tod_t_OUT(Ints(0), Ints(0, 10)); }, {863'999'990}, 0},
        {"sub_tod_t wraps once", [] { return sub_tod_t_OUT(Ints(0), Ints(0, 2 * kDay)); }, {-kDay}, 0},
        {"sub_tod_t saturates", [] { return sub_tod_t_OUT(Ints(kDay - 1), Ints(0, kMin)); }, {kMax}, 0},
        {"sub_tod_tod", [] { return sub_tod_tod_OUT(Ints(10), Ints(20)); }, {0, -10}, 0},
        {"sub_tod_tod not normalised", [] { return sub_tod_tod_OUT(Ints(kMax), Ints(0)); }, {0, kMax}, 0},
        {"sub_tod_tod beyond a DINT", [] { return sub_tod_tod_OUT(Ints(kMax), Ints(kMin)); }, {4, 838'967'295}, 0},
        {"add_dt_t of a negative TIME", [] { return add_dt_t_OUT(Ints(10, 0), Ints(0, -1)); }, {9, kDay - 1}, 0},
        {"sub_dt_t of a non-normal DT", [] { return sub_dt_t_OUT(Ints(1, -1), Ints(-1, 1)); }, {1, kDay - 2}, 0},
        {"sub_dt_dt", [] { return sub_dt_dt_OUT(Ints(5, 100), Ints(3, 200)); }, {1, kDay - 100}, 0},
        {"sub_dt_dt saturates", [] { return sub_dt_dt_OUT(Ints(kMax, kMax), Ints(kMin, kMin)); }, kLargest, 0},
        {"sub_date_date", [] { return sub_date_date_OUT(Ints(5), Ints(7)); }, {-2, 0}, 0},
        {"sub_date_date saturates high", [] { return sub_date_date_OUT(Ints(kMax), Ints(kMin)); }, kLargest, 0},
        {"sub_date_date saturates low", [] { return sub_date_date_OUT(Ints(kMin), Ints(1)); }, kSmallest, 0},
        {"concat_date_tod as given", [] { return concat_date_tod_OUT(Ints(-3), Ints(kDay + 5)); }, {-3, kDay + 5}, 0},
        {"dt_to_tod of concat", [] { return dt_to_tod_OUT(concat_date_tod_OUT(Ints(kMin), Ints(kMax))); }, {kMax}, 0},
        {"dt_to_date of concat", [] { return dt_to_date_OUT(concat_date_tod_OUT(Ints(kMin), Ints(kMax))); }, {kMin}, 0},
    };
    for (const Case& c : kCases) check(c);
}

TEST_F(TimeDate, MultiplyAndDivide) {
    const Case kCases[] = {
        {"mul sint -128 of mixed signs", [] { return mul_t_sint_OUT(Ints(1, -1), -128); }, {-127, -863'999'872}, 0},
        {"mul int -32768", [] { return mul_t_int_OUT(Ints(0, 10), -32768); }, {0, -327'680}, 0},
        {"mul dint saturates high", [] { return mul_t_dint_OUT(Ints(kMin, 0), kMin); }, kLargest, 0},
        {"mul dint saturates low", [] { return mul_t_dint_OUT(Ints(kMin, 0), kMax); }, kSmallest, 0},
        {"mul real truncates", [] { return mul_t_real_OUT(Ints(0, 10), 0.55f); }, {0, 5}, 0},
        {"mul real fraction of a day", [] { return mul_t_real_OUT(Ints(1, 0), 1.5f); }, {1, kDay / 2}, 0},
        {"mul real exact beyond double", [] { return mul_t_real_OUT(Ints(1'000'000'000, kDay - 1), 1.0f); },
         {1'000'000'000, kDay - 1}, 0},
        {"mul real NaN", [] { return mul_t_real_OUT(Ints(1, 1), kNaN); }, {0, 0}, 0},
        {"mul real infinity", [] { return mul_t_real_OUT(Ints(0, 1), kInf); }, kLargest, 0},
        {"mul real 0 by infinity", [] { return mul_t_real_OUT(Ints(1, -kDay), kInf); }, {0, 0}, 0},
        {"div sint negative TIME", [] { return div_t_sint_OUT(Ints(-1, 0), 127); }, {0, -6'803'149}, 0},
        {"div sint by 0", [] { return div_t_sint_OUT(Ints(0, 10), 0); }, {0, 0}, 1015},
        {"div int by 0", [] { return div_t_int_OUT(Ints(0, 10), 0); }, {0, 0}, 1013},
        {"div int by -2", [] { return div_t_int_OUT(Ints(0, 10), -2); }, {0, 0}, 1013},
        {"div int by 1 saturates", [] { return div_t_int_OUT(Ints(kMin, kMin), 1); }, kSmallest, 0},
        {"div dint to one tick", [] { return div_t_dint_OUT(Ints(1, 0), kDay); }, {0, 1}, 0},
        {"div dint exact on the largest", [] { return div_t_dint_OUT(Ints(kMax, kDay - 1), 7); },
         {306'783'378, 246'857'142}, 0},
        {"div dint by INT32_MIN", [] { return div_t_dint_OUT(Ints(0, 10), kMin); }, {0, 0}, 1012},
        {"div real truncates toward 0", [] { return div_t_real_OUT(Ints(0, -10), 4.0f); }, {0, -2}, 0},
        {"div real by -1", [] { return div_t_real_OUT(Ints(0, 10), -1.0f); }, {0, 0}, 1014},
        {"div real by -0", [] { return div_t_real_OUT(Ints(0, 10), -0.0f); }, {0, 0}, 1014},
        {"div real by NaN", [] { return div_t_real_OUT(Ints(0, 10), kNaN); }, {0, 0}, 1014},
        {"div real by infinity", [] { return div_t_real_OUT(Ints(kMax, kMax), kInf); }, {0, 0}, 0},
        {"div real saturates high", [] { return div_t_real_OUT(Ints(0, 1), 1e-45f); }, kLargest, 0},
    };
    for (const Case& c : kCases) check(c);
}

// ---- Selection and comparison, over the four types ---------------------------------

using Binary = IntCell* (*)(const IntCell*, const IntCell*);
using Relation = std::uint8_t (*)(const IntCell*, const IntCell*);
using Value = std::pair<std::int32_t, std::int32_t>;

// One type: its entries, and four values in increasing order, the last
// equal to the third but written differently where the type allows it.
struct Ordered {
    const char* name;
    int elements;
    std::int32_t mux_error;
    IntCell* (*sel)(std::uint8_t, const IntCell*, const IntCell*);
    IntCell* (*mux)(std::int16_t, const IntCell*, const IntCell*, const IntCell*, const IntCell*, const IntCell*,
                    const IntCell*, const IntCell*, const IntCell*, const IntCell*, const IntCell*);
    Binary max, min;
    IntCell* (*limit)(const IntCell*, const IntCell*, const IntCell*);
    std::array<Relation, 6> relations;  // eq ne gt ge lt le
    std::array<Value, 4> values;        // low, mid, high, the same as high
};

const Ordered kOrdered[] = {
    {"time", 2, 1040, sel_time_OUT, mux_time_OUT, max_time_OUT, min_time_OUT, limit_time_OUT,
     {eq_time_OUT, ne_time_OUT, gt_time_OUT, ge_time_OUT, lt_time_OUT, le_time_OUT},
     // more days but a smaller total; equal totals near the top of the range
     {{{1, kMin}, {0, 5}, {kMax - 2, kMax}, {kMax, 419'483'647}}}},
    {"date", 1, 1032, sel_date_OUT, mux_date_OUT, max_date_OUT, min_date_OUT, limit_date_OUT,
     {eq_date_OUT, ne_date_OUT, gt_date_OUT, ge_date_OUT, lt_date_OUT, le_date_OUT},
     {{{kMin, 0}, {0, 0}, {kMax, 0}, {kMax, 0}}}},
    {"tod", 1, 1041, sel_tod_OUT, mux_tod_OUT, max_tod_OUT, min_tod_OUT, limit_tod_OUT,
     {eq_tod_OUT, ne_tod_OUT, gt_tod_OUT, ge_tod_OUT, lt_tod_OUT, le_tod_OUT},
     {{{-1, 0}, {1000, 0}, {kDay - 1, 0}, {kDay - 1, 0}}}},
    {"dt", 2, 1034, sel_dt_OUT, mux_dt_OUT, max_dt_OUT, min_dt_OUT, limit_dt_OUT,
     {eq_dt_OUT, ne_dt_OUT, gt_dt_OUT, ge_dt_OUT, lt_dt_OUT, le_dt_OUT},
     {{{-1, kDay - 1}, {1, -1}, {2, 0}, {0, 2 * kDay}}}},
};

enum Operand { kLow, kMid, kHigh, kSame };

class OrderedTimes : public IecTest, public ::testing::WithParamInterface<Ordered> {
protected:
    using Operands = std::array<const IntCell*, 4>;

    OrderedTimes() {
        for (const Value& v : GetParam().values) values_.push_back(make(v));
        for (std::size_t i = 0; i < values_.size(); ++i) operands[i] = values_[i];
    }
    Ints make(Value value) const {
        return GetParam().elements == 2 ? Ints(value.first, value.second) : Ints(value.first);
    }

    // A result is a new array holding the expected operand's elements as
    // they were written.
    void expect_copy(const IntCell* result, const IntCell* operand, const std::string& what) const {
        EXPECT_NE(result, operand) << what;
        EXPECT_EQ(element0(result), element0(operand)) << what;
        // A DATE or TOD has no second element to read.
        if (GetParam().elements == 2) {
            EXPECT_EQ(elements(result).second, elements(operand).second) << what;
        }
    }

    Operands operands{};  // low, mid, high, same, indexed by Operand

private:
    std::vector<Ints> values_;
};

TEST_P(OrderedTimes, ComparisonsFollowTheOrdering) {
    struct Row {
        Operand in1, in2;
        const char* relations;  // eq ne gt ge lt le
    };
    const Row kRows[] = {{kLow, kMid, "010011"}, {kMid, kLow, "011100"}, {kHigh, kSame, "100101"}, {kSame, kHigh, "100101"}};
    const auto& relations = GetParam().relations;
    for (const Row& r : kRows) {
        for (std::size_t i = 0; i < relations.size(); ++i) {
            LIBFB_ERR = 4242;
            EXPECT_EQ(relations[i](operands[r.in1], operands[r.in2]), r.relations[i] == '1' ? 1 : 0)
                << r.in1 << " vs " << r.in2 << ", relation " << i;
            EXPECT_EQ(LIBFB_ERR, 0);
        }
    }
}

TEST_P(OrderedTimes, SelectionsCopyTheChosenOperand) {
    struct Row {
        const char* what;
        IntCell* (*call)(const Ordered&, const Operands&);
        Operand expected;
    };
    const Row kRows[] = {
        {"sel 0", [](auto& p, auto& o) { return p.sel(0, o[kLow], o[kSame]); }, kLow},
        {"sel 2", [](auto& p, auto& o) { return p.sel(2, o[kLow], o[kSame]); }, kSame},
        {"max", [](auto& p, auto& o) { return p.max(o[kLow], o[kHigh]); }, kHigh},
        {"max tie is IN1", [](auto& p, auto& o) { return p.max(o[kSame], o[kHigh]); }, kSame},
        {"min", [](auto& p, auto& o) { return p.min(o[kHigh], o[kLow]); }, kLow},
        {"min tie is IN1", [](auto& p, auto& o) { return p.min(o[kSame], o[kHigh]); }, kSame},
        {"limit inside", [](auto& p, auto& o) { return p.limit(o[kLow], o[kMid], o[kHigh]); }, kMid},
        {"limit below", [](auto& p, auto& o) { return p.limit(o[kMid], o[kLow], o[kHigh]); }, kMid},
        {"limit reversed, below", [](auto& p, auto& o) { return p.limit(o[kHigh], o[kLow], o[kMid]); }, kMid},
        {"limit reversed, above", [](auto& p, auto& o) { return p.limit(o[kMid], o[kHigh], o[kLow]); }, kMid},
        {"limit IN equal to MX", [](auto& p, auto& o) { return p.limit(o[kLow], o[kSame], o[kHigh]); }, kSame},
    };
    for (const Row& r : kRows) {
        LIBFB_ERR = 4242;
        expect_copy(r.call(GetParam(), operands), operands[r.expected], r.what);
        EXPECT_EQ(LIBFB_ERR, 0) << r.what;
    }
}

TEST_P(OrderedTimes, MuxCopiesInputKOrRefusesK) {
    std::vector<Ints> in;
    for (std::int32_t i = 0; i < 10; ++i) in.push_back(make({7 * i - 20, -i}));
    const auto mux = [&](std::int16_t k) {
        return GetParam().mux(k, in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7], in[8], in[9]);
    };
    for (const std::int16_t k : {0, 1, 9, -1, 10, INT16_MIN, INT16_MAX}) {
        LIBFB_ERR = 4242;
        const bool valid = k >= 0 && k <= 9;
        expect_copy(mux(k), in[valid ? static_cast<std::size_t>(k) : 0], "mux " + std::to_string(k));
        EXPECT_EQ(LIBFB_ERR, valid ? 0 : GetParam().mux_error) << "mux " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(TimeDate, OrderedTimes, ::testing::ValuesIn(kOrdered),
                         [](const ::testing::TestParamInfo<Ordered>& type) { return std::string(type.param.name); });

}  // namespace
}  // namespace iec::testing
