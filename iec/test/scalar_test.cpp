// Scalar functions. The families that exist for many types run one typed
// test over the types, reaching each type's entries through its table of
// function pointers, with values given as bit patterns of the type's width.
// Arithmetic and the numeric functions, whose rules differ per type, are
// one line per case.
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "iec_fixture.hpp"

namespace iec::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The entries of one type; the families it lacks stay null.
template <class V> struct Ops {
    std::array<V (*)(V, V), 3> logic{};  // AND OR XOR
    V (*not_)(V) = nullptr;
    std::array<V (*)(V, std::int16_t), 4> shifts{};  // SHL SHR ROR ROL
    std::array<std::int32_t, 4> shift_codes{};
    V (*sel)(std::uint8_t, V, V) = nullptr;
    V (*mux)(std::int16_t, V, V, V, V, V, V, V, V, V, V) = nullptr;
    std::int32_t mux_code = 0;
    std::array<V (*)(V, V), 2> max_min{};
    V (*limit)(V, V, V) = nullptr;
    std::array<std::uint8_t (*)(V, V), 6> compare{};  // EQ NE GT GE LT LE
};

// clang-format off
struct Bool { using V = std::uint8_t; static constexpr Ops<V> ops{
    {and_bool_OUT, or_bool_OUT, xor_bool_OUT}, not_bool_OUT, {}, {}, sel_bool_OUT, mux_bool_OUT, 1030, {}, nullptr,
    {eq_bool_OUT, ne_bool_OUT, gt_bool_OUT, ge_bool_OUT, lt_bool_OUT, le_bool_OUT}}; };
struct Byte { using V = std::uint8_t; static constexpr Ops<V> ops{
    {and_byte_OUT, or_byte_OUT, xor_byte_OUT}, not_byte_OUT, {shl_byte_OUT, shr_byte_OUT, ror_byte_OUT, rol_byte_OUT},
    {1062, 1068, 1057, 1050}, sel_byte_OUT, mux_byte_OUT, 1031, {max_byte_OUT, min_byte_OUT}, limit_byte_OUT,
    {eq_byte_OUT, ne_byte_OUT, gt_byte_OUT, ge_byte_OUT, lt_byte_OUT, le_byte_OUT}}; };
struct Word { using V = std::uint16_t; static constexpr Ops<V> ops{
    {and_word_OUT, or_word_OUT, xor_word_OUT}, not_word_OUT, {shl_word_OUT, shr_word_OUT, ror_word_OUT, rol_word_OUT},
    {1067, 1073, 1056, 1055}, sel_word_OUT, mux_word_OUT, 1042, {max_word_OUT, min_word_OUT}, limit_word_OUT,
    {eq_word_OUT, ne_word_OUT, gt_word_OUT, ge_word_OUT, lt_word_OUT, le_word_OUT}}; };
struct Dword { using V = std::uint32_t; static constexpr Ops<V> ops{
    {and_dword_OUT, or_dword_OUT, xor_dword_OUT}, not_dword_OUT, {shl_dword_OUT, shr_dword_OUT, ror_dword_OUT, rol_dword_OUT},
    {1064, 1070, 1059, 1052}, sel_dword_OUT, mux_dword_OUT, 1035, {max_dword_OUT, min_dword_OUT}, limit_dword_OUT,
    {eq_dword_OUT, ne_dword_OUT, gt_dword_OUT, ge_dword_OUT, lt_dword_OUT, le_dword_OUT}}; };
struct Sint { using V = std::int8_t; static constexpr Ops<V> ops{
    {and_sint_OUT, or_sint_OUT, xor_sint_OUT}, not_sint_OUT, {shl_sint_OUT, shr_sint_OUT, ror_sint_OUT, rol_sint_OUT},
    {1066, 1072, 1061, 1054}, sel_sint_OUT, mux_sint_OUT, 1038, {max_sint_OUT, min_sint_OUT}, limit_sint_OUT,
    {eq_sint_OUT, ne_sint_OUT, gt_sint_OUT, ge_sint_OUT, lt_sint_OUT, le_sint_OUT}}; };
struct Int { using V = std::int16_t; static constexpr Ops<V> ops{
    {and_int_OUT, or_int_OUT, xor_int_OUT}, not_int_OUT, {shl_int_OUT, shr_int_OUT, ror_int_OUT, rol_int_OUT},
    {1065, 1071, 1060, 1053}, sel_int_OUT, mux_int_OUT, 1036, {max_int_OUT, min_int_OUT}, limit_int_OUT,
    {eq_int_OUT, ne_int_OUT, gt_int_OUT, ge_int_OUT, lt_int_OUT, le_int_OUT}}; };
struct Dint { using V = std::int32_t; static constexpr Ops<V> ops{
    {and_dint_OUT, or_dint_OUT, xor_dint_OUT}, not_dint_OUT, {shl_dint_OUT, shr_dint_OUT, ror_dint_OUT, rol_dint_OUT},
    {1063, 1069, 1058, 1051}, sel_dint_OUT, mux_dint_OUT, 1033, {max_dint_OUT, min_dint_OUT}, limit_dint_OUT,
    {eq_dint_OUT, ne_dint_OUT, gt_dint_OUT, ge_dint_OUT, lt_dint_OUT, le_dint_OUT}}; };
struct Real { using V = float; static constexpr Ops<V> ops{
    {}, nullptr, {}, {}, sel_real_OUT, mux_real_OUT, 1037, {max_real_OUT, min_real_OUT}, limit_real_OUT,
    {eq_real_OUT, ne_real_OUT, gt_real_OUT, ge_real_OUT, lt_real_OUT, le_real_OUT}}; };
// clang-format on

// Calls an entry with junk in LIBFB_ERR, so that each entry is seen to
// clear it, and checks its result and code.
template <class V, class Call> void check(const std::string& what, Call call, V expected, std::int32_t error) {
    LIBFB_ERR = 4242;
    EXPECT_EQ(+call(), +expected) << what;
    EXPECT_EQ(LIBFB_ERR, error) << what;
}

template <class V> constexpr int kWidth = 8 * static_cast<int>(sizeof(V));
template <class V> constexpr std::uint64_t kOnes = ~std::uint64_t{0} >> (64 - kWidth<V>);
template <class V> constexpr std::uint64_t kHigh = std::uint64_t{1} << (kWidth<V> - 1);
template <class V> V of(std::uint64_t pattern) { return static_cast<V>(pattern & kOnes<V>); }
template <class V> std::string str(V a, V b) { return std::to_string(+a) + ", " + std::to_string(+b); }

template <class Tag> class Bitwise : public IecTest {};
template <class Tag> class Shifts : public IecTest {};
template <class Tag> class AnyType : public IecTest {};
template <class Tag> class Order : public IecTest {};
using BitTypes = ::testing::Types<Bool, Byte, Word, Dword, Sint, Int, Dint>;
using ShiftTypes = ::testing::Types<Byte, Word, Dword, Sint, Int, Dint>;
using AllTypes = ::testing::Types<Bool, Byte, Word, Dword, Sint, Int, Dint, Real>;
using OrderTypes = ::testing::Types<Byte, Word, Dword, Sint, Int, Dint, Real>;
TYPED_TEST_SUITE(Bitwise, BitTypes);
TYPED_TEST_SUITE(Shifts, ShiftTypes);
TYPED_TEST_SUITE(AnyType, AllTypes);
TYPED_TEST_SUITE(Order, OrderTypes);

TYPED_TEST(Bitwise, WorkOnEveryBitOfTheWidth) {
    using V = typename TypeParam::V;
    const auto& ops = TypeParam::ops;
    for (const std::uint64_t a : {std::uint64_t{0}, std::uint64_t{1}, kOnes<V>, kHigh<V>, kHigh<V> - 1, std::uint64_t{0x5A5A5A5A}}) {
        for (const std::uint64_t b : {std::uint64_t{0}, kOnes<V>, kHigh<V>, std::uint64_t{0xA5A5A5A5}}) {
            const std::uint64_t expected[] = {a & b, a | b, a ^ b};
            for (int op = 0; op < 3; ++op) {
                check<V>("op " + std::to_string(op) + " of " + str(a, b),
                         [&] { return ops.logic[op](of<V>(a), of<V>(b)); }, of<V>(expected[op]), 0);
            }
        }
        check<V>("NOT " + std::to_string(a), [&] { return ops.not_(of<V>(a)); }, of<V>(~a), 0);
    }
}

TYPED_TEST(Shifts, MoveThePatternAndRefuseAnyNOutsideTheWidth) {
    using V = typename TypeParam::V;
    constexpr std::int16_t w = kWidth<V>;
    constexpr std::uint64_t hi = kHigh<V>, ones = kOnes<V>;
    enum { shl, shr, ror, rol };
    struct Row {
        int op;
        std::uint64_t in;
        std::int16_t n;
        std::uint64_t out;
    };
    const Row kRows[] = {
        {shl, 1, w - 1, hi}, {shl, hi | 1, 1, 2},  {shl, ones, 0, ones},       {shr, hi, w - 1, 1},
        {shr, ones, 1, ones >> 1},  // zero fill on the signed types too
        {ror, 1, 1, hi},     {ror, hi | 1, w - 1, 3}, {ror, 6, 0, 6},          {rol, hi, 1, 1},
        {rol, 2, w - 1, 1},  {rol, hi | 1, 4, 0x18},
    };
    for (const Row& r : kRows) {
        check<V>("op " + std::to_string(r.op) + " of " + str(r.in, std::uint64_t(r.n)),
                 [&] { return TypeParam::ops.shifts[r.op](of<V>(r.in), r.n); }, of<V>(r.out), 0);
    }
    for (int op = shl; op <= rol; ++op) {
        for (const std::int16_t n : {w, std::int16_t{-1}, std::int16_t{32767}, std::int16_t{-32768}}) {
            check<V>("op " + std::to_string(op) + " by " + std::to_string(n),
                     [&] { return TypeParam::ops.shifts[op](of<V>(0x81), n); }, of<V>(0x81), TypeParam::ops.shift_codes[op]);
        }
    }
}

TYPED_TEST(AnyType, SelAndMuxReturnTheChosenOperand) {
    using V = typename TypeParam::V;
    const auto& ops = TypeParam::ops;
    std::array<V, 10> in{};
    for (int i = 0; i < 10; ++i) in[i] = static_cast<V>(7 * i + 3);
    for (const std::uint8_t g : {0, 1, 2, 0x80}) {
        check<V>("SEL " + std::to_string(g), [&] { return ops.sel(g, in[0], in[1]); }, g ? in[1] : in[0], 0);
    }
    const auto mux = [&](std::int16_t k) {
        return ops.mux(k, in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7], in[8], in[9]);
    };
    for (std::int16_t k = 0; k < 10; ++k) check<V>("MUX " + std::to_string(k), [&] { return mux(k); }, in[k], 0);
    for (const std::int16_t k : {10, -1, 32767, -32768}) {
        check<V>("MUX " + std::to_string(k), [&] { return mux(k); }, in[0], ops.mux_code);
    }
}

TYPED_TEST(AnyType, ComparisonsGiveAllSixAnswers) {
    using V = typename TypeParam::V;
    constexpr V lo = std::numeric_limits<V>::lowest(), hi = std::numeric_limits<V>::max();
    const V minus1 = static_cast<V>(-1);  // all ones on the unsigned types
    struct Row {
        V a, b;
        int order;
    };
    const Row kRows[] = {{0, 1, -1}, {1, 0, 1}, {1, 1, 0}, {2, 1, 1}, {lo, hi, -1}, {hi, hi, 0},
                         {minus1, 1, std::is_signed_v<V> ? -1 : 1}};
    for (const Row& r : kRows) {
        const bool expected[] = {r.order == 0, r.order != 0, r.order > 0, r.order >= 0, r.order < 0, r.order <= 0};
        for (int op = 0; op < 6; ++op) {
            check<std::uint8_t>("op " + std::to_string(op) + " of " + str(r.a, r.b),
                                [&] { return TypeParam::ops.compare[op](r.a, r.b); }, expected[op], 0);
        }
    }
}

TYPED_TEST(Order, MaxMinAndLimitFollowTheTypesSign) {
    using V = typename TypeParam::V;
    const auto& ops = TypeParam::ops;
    constexpr V lo = std::numeric_limits<V>::lowest(), hi = std::numeric_limits<V>::max();
    const V minus1 = static_cast<V>(-1), above1 = std::is_signed_v<V> ? V{1} : minus1;
    struct Row {
        V a, b, max;
    };
    for (const Row& r : {Row{lo, hi, hi}, Row{hi, lo, hi}, Row{minus1, 1, above1}, Row{1, minus1, above1}}) {
        check<V>("MAX " + str(r.a, r.b), [&] { return ops.max_min[0](r.a, r.b); }, r.max, 0);
        check<V>("MIN " + str(r.a, r.b), [&] { return ops.max_min[1](r.a, r.b); }, r.max == r.a ? r.b : r.a, 0);
    }
    struct Limit {
        V mn, in, mx, out;
    };
    const Limit kLimits[] = {{1, 0, 5, 1},  {1, 9, 5, 5}, {1, 3, 5, 3},       {10, 5, 0, 5},
                             {10, 50, 0, 10}, {5, 0, 1, 1}, {lo, hi, hi, hi}, {hi, lo, hi, hi}};
    for (const Limit& l : kLimits) {
        check<V>("LIMIT " + str(l.mn, l.mx) + " of " + std::to_string(+l.in),
                 [&] { return ops.limit(l.mn, l.in, l.mx); }, l.out, 0);
    }
}

// ---- One line per case -------------------------------------------------------------------

struct Case {
    const char* what;
    std::function<double()> call;
    double expected;
    std::int32_t error;
};

class Cases : public IecTest {
protected:
    // Equal with the same sign (-0.0 is not 0.0 here), or both NaN.
    void run(std::initializer_list<Case> cases) {
        for (const Case& c : cases) {
            LIBFB_ERR = 4242;
            const double r = c.call();
            const bool same = (std::isnan(r) && std::isnan(c.expected)) ||
                              (r == c.expected && std::signbit(r) == std::signbit(c.expected));
            EXPECT_TRUE(same) << c.what << ": " << r;
            EXPECT_EQ(LIBFB_ERR, c.error) << c.what;
        }
    }
};

TEST_F(Cases, BoolAndRealSpecialValues) {
    run({
        {"NOT TRUE inverts all bits", [] { return not_bool_OUT(1); }, 0xFE, 0},
        {"AND of 2 and 1", [] { return and_bool_OUT(2, 1); }, 0, 0},
        {"SEL keeps the BOOL's byte", [] { return sel_bool_OUT(1, 0, 2); }, 2, 0},
        {"EQ 0.0 -0.0", [] { return eq_real_OUT(0.0f, -0.0f); }, 1, 0},
        {"EQ NaN NaN", [] { return eq_real_OUT(kNaN, kNaN); }, 0, 0},
        {"NE NaN NaN", [] { return ne_real_OUT(kNaN, kNaN); }, 1, 0},
        {"GE NaN 1", [] { return ge_real_OUT(kNaN, 1); }, 0, 0},
        {"MAX NaN 1", [] { return max_real_OUT(kNaN, 1); }, 1, 0},
        {"MAX 1 NaN", [] { return max_real_OUT(1, kNaN); }, kNaN, 0},
        {"MIN -0.0 0.0 keeps IN1", [] { return min_real_OUT(-0.0f, 0.0f); }, -0.0, 0},
        {"LIMIT of NaN", [] { return limit_real_OUT(0, kNaN, 1); }, kNaN, 0},
        {"LIMIT NaN low bound limits nothing", [] { return limit_real_OUT(kNaN, -5, 1); }, -5, 0},
        {"LIMIT NaN low bound, high one holds", [] { return limit_real_OUT(kNaN, 5, 1); }, 1, 0},
        {"LIMIT NaN high bound", [] { return limit_real_OUT(1, 5, kNaN); }, 5, 0},
    });
}

TEST_F(Cases, SintAndIntMustHoldTheirResults) {
    run({
        {"ADD SINT 100 27", [] { return add_sint_OUT(100, 27); }, 127, 0},
        {"ADD SINT 100 28", [] { return add_sint_OUT(100, 28); }, 0, 1000},
        {"ADD INT -32768 32767", [] { return add_int_OUT(-32768, 32767); }, -1, 0},
        {"SUB INT 0 -32768", [] { return sub_int_OUT(0, -32768); }, 0, 1000},
        {"SUB SINT -127 1", [] { return sub_sint_OUT(-127, 1); }, -128, 0},
        {"MUL INT -32768 -1", [] { return mul_int_OUT(-32768, -1); }, 0, 1000},
        {"MUL SINT -16 8", [] { return mul_sint_OUT(-16, 8); }, -128, 0},
        {"DIV INT -7 2", [] { return div_int_OUT(-7, 2); }, -3, 0},
        {"DIV INT by 0", [] { return div_int_OUT(5, 0); }, 0, 1009},
        {"DIV INT -32768 -1", [] { return div_int_OUT(-32768, -1); }, 0, 1000},
        {"DIV SINT by 0", [] { return div_sint_OUT(5, 0); }, 0, 1011},
        {"MOD INT -7 2", [] { return mod_int_OUT(-7, 2); }, -1, 0},
        {"MOD INT by 0", [] { return mod_int_OUT(7, 0); }, 0, 1028},
        {"MOD SINT -128 -1", [] { return mod_sint_OUT(-128, -1); }, 0, 0},
        {"MOD SINT by 0", [] { return mod_sint_OUT(7, 0); }, 0, 1029},
        {"ABS SINT -128", [] { return abs_sint_OUT(-128); }, 0, 1000},
        {"ABS INT -32767", [] { return abs_int_OUT(-32767); }, 32767, 0},
        {"MOVE SINT", [] { return move_sint_OUT(-128); }, -128, 0},
        {"MOVE INT", [] { return move_int_OUT(-32768); }, -32768, 0},
        {"EXPT SINT 2 6", [] { return expt_sint_OUT(2, 6); }, 64, 0},
        {"EXPT SINT 2 7", [] { return expt_sint_OUT(2, 7); }, 0, 1000},
        {"EXPT SINT -2 7", [] { return expt_sint_OUT(-2, 7); }, -128, 0},
        {"EXPT SINT 3 -1", [] { return expt_sint_OUT(3, -1); }, 0, 0},
        {"EXPT SINT -1 127 keeps the sign", [] { return expt_sint_OUT(-1, 127); }, -1, 0},
        {"EXPT INT 256 4 is 2^32, not 0", [] { return expt_int_OUT(256, 4); }, 0, 1000},
        {"EXPT INT -1 32767", [] { return expt_int_OUT(-1, 32767); }, -1, 0},
    });
}

TEST_F(Cases, DintWrapsAndNeverTraps) {
    constexpr std::int32_t kMin = INT32_MIN, kMax = INT32_MAX;
    run({
        {"ADD max 1", [] { return add_dint_OUT(kMax, 1); }, kMin, 0},
        {"SUB min 1", [] { return sub_dint_OUT(kMin, 1); }, kMax, 0},
        {"MUL max max", [] { return mul_dint_OUT(kMax, kMax); }, 1, 0},
        {"DIV -7 2", [] { return div_dint_OUT(-7, 2); }, -3, 0},
        {"DIV by 0", [] { return div_dint_OUT(1, 0); }, 0, 1008},
        {"DIV min -1 wraps", [] { return div_dint_OUT(kMin, -1); }, kMin, 0},
        {"MOD by 0", [] { return mod_dint_OUT(1, 0); }, 0, 1027},
        {"MOD min -1", [] { return mod_dint_OUT(kMin, -1); }, 0, 0},
        {"ABS min", [] { return abs_dint_OUT(kMin); }, 0, 1000},
        {"MOVE", [] { return move_dint_OUT(kMin); }, kMin, 0},
        {"EXPT 3 30 wraps", [] { return expt_dint_OUT(3, 30); }, -1010140999, 0},
        {"EXPT 1 31", [] { return expt_dint_OUT(1, 31); }, 0, 1000},
        {"EXPT 2 max", [] { return expt_dint_OUT(2, kMax); }, 0, 1000},
        {"EXPT 0 min", [] { return expt_dint_OUT(0, kMin); }, 0, 0},
    });
}

TEST_F(Cases, RealArithmeticAndNumericFunctions) {
    const double half_pi = static_cast<float>(std::numbers::pi / 2);
    run({
        {"ADD to inf", [] { return add_real_OUT(3e38f, 3e38f); }, kInf, 0},
        {"SUB inf inf", [] { return sub_real_OUT(kInf, kInf); }, kNaN, 0},
        {"MUL 0 inf", [] { return mul_real_OUT(0, kInf); }, kNaN, 0},
        {"DIV by -0.0", [] { return div_real_OUT(1, -0.0f); }, 0, 1010},
        {"DIV NaN by 0.0", [] { return div_real_OUT(kNaN, 0.0f); }, 0, 1010},
        {"DIV by NaN", [] { return div_real_OUT(1, kNaN); }, kNaN, 0},
        {"ABS -0.0 is 0.0", [] { return abs_real_OUT(-0.0f); }, 0.0, 0},
        {"MOVE -0.0", [] { return move_real_OUT(-0.0f); }, -0.0, 0},
        {"EXPT beyond the float range", [] { return expt_real_OUT(-1e30f, 3); }, -kInf, 0},
        {"EXPT -8 1/3", [] { return expt_real_OUT(-8, 1.0f / 3); }, kNaN, 0},
        {"sqrt -0.0", [] { return sqrt_OUT(-0.0f); }, -0.0, 0},
        {"sqrt -1", [] { return sqrt_OUT(-1); }, 0, 1074},
        {"sqrt NaN", [] { return sqrt_OUT(kNaN); }, 0, 1074},
        {"ln 0", [] { return ln_OUT(0); }, 0, 1020},
        {"log 1000", [] { return log_OUT(1000); }, 3, 0},
        {"log NaN", [] { return log_OUT(kNaN); }, 0, 1021},
        {"exp 100 beyond the float range", [] { return exp_OUT(100); }, kInf, 0},
        {"exp NaN", [] { return exp_OUT(kNaN); }, kNaN, 0},
        {"sin inf", [] { return sin_OUT(kInf); }, kNaN, 0},
        {"cos 0", [] { return cos_OUT(0); }, 1, 0},
        {"tan -0.0", [] { return tan_OUT(-0.0f); }, -0.0, 0},
        {"asin 1", [] { return asin_OUT(1); }, half_pi, 0},
        {"asin -1.0001", [] { return asin_OUT(-1.0001f); }, 0, 1002},
        {"acos 1.5", [] { return acos_OUT(1.5f); }, 0, 1001},
        {"acos NaN", [] { return acos_OUT(kNaN); }, 0, 1001},
        {"atan inf", [] { return atan_OUT(kInf); }, half_pi, 0},
    });
}

}  // namespace
}  // namespace iec::testing
