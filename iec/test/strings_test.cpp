// String functions: a table per group of functions, a line per case with the
// text and capacity of the result and the code it leaves; then properties
// over random strings that tie the functions to each other.
#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "iec_fixture.hpp"

namespace iec::testing {
namespace {

using namespace std::string_literals;

struct TextCase {
    const char* what;
    std::function<const CharCell*()> call;
    std::string text;
    std::int32_t capacity;
    std::int32_t error;
};

struct IntCase {
    const char* what;
    std::function<std::int32_t()> call;
    std::int32_t value;
    std::int32_t error;
};

class Strings : public IecTest {
protected:
    static void check(const TextCase& c) {
        LIBFB_ERR = 4242;  // every entry clears what an earlier call left
        const CharCell* s = c.call();
        EXPECT_EQ(text(s), c.text) << c.what;
        EXPECT_EQ(capacity(s), c.capacity) << c.what;
        EXPECT_EQ(LIBFB_ERR, c.error) << c.what;
        // Each character is in cur and prev alike; the cells after the text are zero.
        for (std::int32_t i = 0; i < capacity(s); ++i) {
            const std::uint8_t expected = i < static_cast<std::int32_t>(c.text.size()) ? vx::cur(s[3 + i]) : 0;
            EXPECT_TRUE(vx::cur(s[3 + i]) == expected && vx::prev(s[3 + i]) == expected) << c.what << " at " << i;
        }
    }
    static void check(const IntCase& c) {
        LIBFB_ERR = 4242;
        EXPECT_EQ(c.call(), c.value) << c.what;
        EXPECT_EQ(LIBFB_ERR, c.error) << c.what;
    }
    template <class Case, std::size_t N> static void check_all(const Case (&cases)[N]) {
        for (const Case& c : cases) check(c);
    }
};

// Capacity 0; "AB" in a variable of capacity 5; a full one with characters after a 0.
const Str kNone("", 0), kWide("AB", 5), kCut("AB\0CD"s, 5);
const Str kABC("ABC"), kABCDE("ABCDE"), kXY("xy"), kXYZ("xyz");

TEST_F(Strings, LenLeftRightFind) {
    check_all<IntCase>({
        {"len full", [] { return len_OUT(kABC); }, 3, 0},
        {"len capacity 0", [] { return len_OUT(kNone); }, 0, 0},
        {"len through the first 0", [] { return len_OUT(kCut); }, 2, 0},
        {"find after a partial match", [] { return find_OUT(Str("AAB"), Str("AB")); }, 2, 0},
        {"find restarts inside a partial match", [] { return find_OUT(Str("AAAB"), Str("AAB")); }, 2, 0},
        {"find whole", [] { return find_OUT(kABC, kABC); }, 1, 0},
        {"find at the end", [] { return find_OUT(kABC, Str("C")); }, 3, 0},
        {"find longer than IN1", [] { return find_OUT(Str("AB"), kABC); }, 0, 0},
        {"find empty IN2", [] { return find_OUT(kABC, kNone); }, 0, 0},
        {"find in empty IN1", [] { return find_OUT(kNone, Str("A")); }, 0, 0},
        {"find not past the 0", [] { return find_OUT(kCut, Str("C")); }, 0, 0},
    });
    check_all<TextCase>({
        {"left 0", [] { return left_OUT(kABC, 0); }, "", 0, 0},
        {"left 1", [] { return left_OUT(kABC, 1); }, "A", 1, 0},
        {"left len", [] { return left_OUT(kABC, 3); }, "ABC", 3, 0},
        {"left len+1", [] { return left_OUT(kABC, 4); }, "ABC", 3, 1019},
        {"left -1", [] { return left_OUT(kABC, -1); }, "", 0, 1018},
        {"left of capacity 0", [] { return left_OUT(kNone, 1); }, "", 0, 1019},
        {"left stops at the 0", [] { return left_OUT(kCut, 3); }, "AB", 2, 1019},
        {"right 1", [] { return right_OUT(kABC, 1); }, "C", 1, 0},
        {"right len+1", [] { return right_OUT(kABC, 4); }, "ABC", 3, 1049},
        {"right -1", [] { return right_OUT(kABC, -1); }, "", 0, 1048},
        {"right ends at the 0", [] { return right_OUT(kCut, 1); }, "B", 1, 0},
    });
}

TEST_F(Strings, MidDeleteReplace) {
    check_all<TextCase>({
        {"mid L 2 P 4", [] { return mid_OUT(kABCDE, 2, 4); }, "DE", 2, 0},
        {"mid L 0 P 1", [] { return mid_OUT(kABCDE, 0, 1); }, "", 0, 0},
        {"mid last", [] { return mid_OUT(kABCDE, 1, 5); }, "E", 1, 0},
        {"mid past the end", [] { return mid_OUT(kABCDE, 3, 4); }, "", 3, 1026},
        {"mid P 0", [] { return mid_OUT(kABCDE, 1, 0); }, "", 1, 1022},
        {"mid L -1", [] { return mid_OUT(kABCDE, -1, 2); }, "", 0, 1023},
        {"mid P len+1, the last failure stays", [] { return mid_OUT(kABCDE, 1, 6); }, "", 1, 1024},
        {"mid L len+1", [] { return mid_OUT(kABCDE, 6, 1); }, "", 5, 1025},
        {"mid L and P at INT max", [] { return mid_OUT(kABCDE, INT16_MAX, INT16_MAX); }, "", 5, 1024},
        {"mid of capacity 0", [] { return mid_OUT(kNone, 0, 1); }, "", 0, 1024},
        {"mid of a wide variable", [] { return mid_OUT(kWide, 1, 2); }, "B", 1, 0},
        {"delete L 2 P 4", [] { return delete_OUT(kABCDE, 2, 4); }, "ABC", 3, 0},
        {"delete all", [] { return delete_OUT(kABCDE, 5, 1); }, "", 0, 0},
        {"delete nothing", [] { return delete_OUT(kABCDE, 0, 3); }, "ABCDE", 5, 0},
        {"delete P 0", [] { return delete_OUT(kABCDE, 1, 0); }, "", 1, 1003},
        {"delete L -1", [] { return delete_OUT(kABCDE, -1, 1); }, "", 1, 1004},
        {"delete past the end", [] { return delete_OUT(kABCDE, 2, 5); }, "", 1, 1005},
        {"delete P len+1", [] { return delete_OUT(kABCDE, 0, 6); }, "", 1, 1006},
        {"delete L len+1", [] { return delete_OUT(kABCDE, 6, 1); }, "", 1, 1007},
        {"delete not past the 0", [] { return delete_OUT(kCut, 1, 2); }, "A", 1, 0},
        {"replace L 2 P 2", [] { return replace_OUT(kABCDE, kXYZ, 2, 2); }, "AxyzDE", 6, 0},
        {"replace L 0 inserts", [] { return replace_OUT(kABCDE, kXYZ, 0, 1); }, "xyzABCDE", 8, 0},
        {"replace last", [] { return replace_OUT(kABCDE, kXYZ, 1, 5); }, "ABCDxyz", 7, 0},
        {"replace P 0", [] { return replace_OUT(kABCDE, kXYZ, 1, 0); }, "", 1, 1043},
        {"replace L -1", [] { return replace_OUT(kABCDE, kXYZ, -1, 1); }, "", 1, 1044},
        {"replace P len+1", [] { return replace_OUT(kABCDE, kXYZ, 0, 6); }, "", 1, 1045},
        {"replace L len+1", [] { return replace_OUT(kABCDE, kXYZ, 6, 1); }, "", 1, 1046},
        {"replace past the end", [] { return replace_OUT(kABCDE, kXYZ, 2, 5); }, "", 1, 1047},
        {"replace in capacity 0", [] { return replace_OUT(kNone, kXYZ, 0, 1); }, "", 1, 1045},
    });
}

TEST_F(Strings, ConcatInsert) {
    check_all<TextCase>({
        {"concat", [] { return concat_OUT(Str("AB"), Str("CDE")); }, "ABCDE", 5, 0},
        {"concat of capacity 0", [] { return concat_OUT(kNone, kNone); }, "", 0, 0},
        {"concat through lengths", [] { return concat_OUT(kWide, kCut); }, "ABAB", 4, 0},
        {"concat high codes", [] { return concat_OUT(Str("\xFF"), Str("\x80")); }, "\xFF\x80", 2, 0},
        {"insert P 0", [] { return insert_OUT(kABC, kXY, 0); }, "xyABC", 5, 0},
        {"insert P 1", [] { return insert_OUT(kABC, kXY, 1); }, "AxyBC", 5, 0},
        {"insert P len", [] { return insert_OUT(kABC, kXY, 3); }, "ABCxy", 5, 0},
        {"insert P len+1", [] { return insert_OUT(kABC, kXY, 4); }, "ABCxy", 5, 1017},
        {"insert P -1", [] { return insert_OUT(kABC, kXY, -1); }, "xyABC", 5, 1016},
        {"insert into capacity 0", [] { return insert_OUT(kNone, kXY, 0); }, "xy", 2, 0},
    });
}

// IN0 .. IN9 hold "s0" .. "s9".
const CharCell* mux(std::int16_t k) {
    static const Str in[] = {Str("s0"), Str("s1"), Str("s2"), Str("s3"), Str("s4"),
                             Str("s5"), Str("s6"), Str("s7"), Str("s8"), Str("s9")};
    return mux_str_OUT(k, in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7], in[8], in[9]);
}

TEST_F(Strings, Selection) {
    const Str a("A"), d("D"), m("M");
    check_all<TextCase>({
        {"sel G 0", [] { return sel_str_OUT(0, Str("A"), Str("B")); }, "A", 1, 0},
        {"sel G 2 is TRUE, a copy as long as the text", [] { return sel_str_OUT(2, Str("A"), kWide); }, "AB", 2, 0},
        {"mux K 0", [] { return mux(0); }, "s0", 2, 0},
        {"mux K 9", [] { return mux(9); }, "s9", 2, 0},
        {"mux K 10", [] { return mux(10); }, "s0", 2, 1039},
        {"mux K -1", [] { return mux(-1); }, "s0", 2, 1039},
        {"max prefix", [] { return max_str_OUT(Str("AB"), kABC); }, "ABC", 3, 0},
        {"min prefix", [] { return min_str_OUT(Str("AB"), kABC); }, "AB", 2, 0},
        {"min of empty", [] { return min_str_OUT(Str("A"), kNone); }, "", 0, 0},
        {"max unsigned", [] { return max_str_OUT(Str("\xFF"), Str("z")); }, "\xFF", 1, 0},
        {"limit reversed, below", [&] { return limit_str_OUT(m, a, d); }, "D", 1, 0},
        {"limit below", [&] { return limit_str_OUT(d, a, m); }, "D", 1, 0},
        {"limit reversed, above", [&] { return limit_str_OUT(m, Str("Z"), d); }, "M", 1, 0},
        {"limit inside", [&] { return limit_str_OUT(d, Str("F"), m); }, "F", 1, 0},
    });
}

// Each pair under all six comparisons, from how IN1 orders against IN2.
TEST_F(Strings, Comparisons) {
    const struct {
        Str in1, in2;
        int order;
    } kPairs[] = {
        {Str("AB"), kABC, -1}, {Str("ABD"), kABC, 1}, {kNone, Str("A"), -1}, {kNone, Str("", 3), 0},
        {kABC, Str("ABC", 5), 0}, {Str("\xFF"), Str("A"), 1}, {kCut, Str("AB"), 0}, {Str("AC"), Str("ABZ"), 1},
    };
    const struct {
        std::uint8_t (*compare)(const CharCell*, const CharCell*);
        bool (*holds)(int);
    } kRelations[] = {
        {eq_str_OUT, [](int o) { return o == 0; }}, {ne_str_OUT, [](int o) { return o != 0; }},
        {gt_str_OUT, [](int o) { return o > 0; }},  {ge_str_OUT, [](int o) { return o >= 0; }},
        {lt_str_OUT, [](int o) { return o < 0; }},  {le_str_OUT, [](int o) { return o <= 0; }},
    };
    for (const auto& p : kPairs) {
        for (std::size_t r = 0; r < std::size(kRelations); ++r) {
            LIBFB_ERR = 4242;
            EXPECT_EQ(kRelations[r].compare(p.in1, p.in2), kRelations[r].holds(p.order) ? 1 : 0)
                << "relation " << r << " of \"" << text(p.in1) << "\" and \"" << text(p.in2) << "\"";
            EXPECT_EQ(LIBFB_ERR, 0);
        }
    }
}

// Counts beyond an INT, results beyond what a capacity can say, a rejected
// MID that must not use up the pool, and the exhausted pool.
TEST_F(Strings, LimitsOfTheTypesAndThePool) {
    std::string long_text(40000, 'A');
    long_text[32766] = 'C';
    long_text[32999] = 'B';
    const Str big(long_text);
    check_all<IntCase>({
        {"len beyond INT", [&] { return len_OUT(big); }, 0, 1000},
        {"find at INT max", [&] { return find_OUT(big, Str("C")); }, 32767, 0},
        {"find beyond INT", [&] { return find_OUT(big, Str("B")); }, 0, 1000},
    });
    check_all<TextCase>({
        {"concat beyond a capacity", [&] { return concat_OUT(big, big); }, "", 0, 1000},
        {"insert beyond a capacity", [&] { return insert_OUT(big, big, 7); }, "", 0, 1000},
        {"replace beyond a capacity", [&] { return replace_OUT(big, big, 1, 1); }, "", 0, 1000},
        {"a rejected MID asks no more than IN holds", [] { return mid_OUT(kABCDE, 30000, 1); }, "", 5, 1025},
        {"and the pool still serves", [] { return concat_OUT(Str("A"), Str("B")); }, "AB", 2, 0},
    });
    ASSERT_EQ(alloc_char(VX_TEMP_POOL_SIZE), nullptr);
    check_all<TextCase>({
        {"exhausted: concat", [] { return concat_OUT(Str("AB"), Str("C")); }, "", 0, 0},
        {"exhausted: left still clamps", [] { return left_OUT(Str("AB"), 3); }, "", 0, 1019},
        {"exhausted: limit", [] { return limit_str_OUT(Str("A"), Str("B"), Str("C")); }, "", 0, 0},
    });
}

// Random strings of up to 9 characters from a small alphabet, so that repeats
// and common prefixes are frequent, with the extreme codes 1 and 255, in
// variables with up to two cells to spare.
TEST_F(Strings, PropertiesOverRandomStrings) {
    std::mt19937 rng(20240611);
    auto pick = [&](int low, int high) { return static_cast<std::int16_t>(std::uniform_int_distribution(low, high)(rng)); };
    auto random_text = [&] {
        std::string s(static_cast<std::size_t>(pick(0, 8)), 'A');
        for (char& c : s) c = "AB\x01\xFF"[pick(0, 3)];
        return s;
    };
    auto variable = [&](const std::string& s) { return Str(s, static_cast<int>(s.size()) + pick(0, 2)); };
    auto size = [](const std::string& s) { return static_cast<std::int16_t>(s.size()); };
    for (int round = 0; round < 2000; ++round) {
        free_all_alloc();
        const std::string a = random_text(), b = random_text() + "B", c = random_text();
        const Str x = variable(a), y = variable(b), z = variable(c);
        SCOPED_TRACE("round " + std::to_string(round));

        // CONCAT then LEFT and RIGHT give back the parts.
        const CharCell* both = concat_OUT(x, y);
        ASSERT_EQ(text(left_OUT(both, size(a))), a);
        ASSERT_EQ(text(right_OUT(both, size(b))), b);

        // INSERT then DELETE at the same place is the identity.
        const std::int16_t at = pick(0, size(a));
        ASSERT_EQ(text(delete_OUT(insert_OUT(x, y, at), size(b), static_cast<std::int16_t>(at + 1))), a);

        // FIND of a piece taken with MID finds it first, at or before its place.
        const std::int16_t p = pick(1, size(b)), l = pick(1, size(b) - p + 1);
        const CharCell* piece = mid_OUT(y, l, p);
        ASSERT_EQ(find_OUT(y, piece), static_cast<std::int16_t>(b.find(text(piece)) + 1));
        ASSERT_LE(find_OUT(y, piece), p);
        ASSERT_EQ(LIBFB_ERR, 0);

        // std::string orders characters as unsigned codes and a proper prefix
        // first: the same ordering.
        ASSERT_EQ(eq_str_OUT(x, z), a == c ? 1 : 0);
        ASSERT_EQ(lt_str_OUT(x, z), a < c ? 1 : 0);
        ASSERT_EQ(text(max_str_OUT(x, z)), std::max(a, c));
        ASSERT_EQ(text(min_str_OUT(x, z)), std::min(a, c));
        ASSERT_EQ(text(limit_str_OUT(x, y, z)), std::clamp(b, std::min(a, c), std::max(a, c)));
    }
}

}  // namespace
}  // namespace iec::testing
