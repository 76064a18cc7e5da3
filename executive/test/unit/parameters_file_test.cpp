// The parameters file: a signature line, then start values that override
// the generated ones. Bad lines never write outside an area.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "support.hpp"
#include "vx/executive.hpp"
#include "vx/testing/program.hpp"

namespace vx::unit {
namespace {

TEST(ParameterLine, SplitsLikeLetterIndexValueComment) {
    struct Row {
        std::string line;
        std::optional<char> letter;  // none: the line does not yield four fields
        std::int32_t index;
        std::string value;
    };
    const Row kRows[] = {
        {"B 5 1 x", 'B', 5, "1"},
        {"I 523 -12 start value\n", 'I', 523, "-12"},
        {"F\t17\t0.5\tx\r\n", 'F', 17, "0.5"},
        {"C 53 321 x\r\n", 'C', 53, "321"},
        {"B5 1 x", 'B', 5, "1"},
        {"I +7 1 x", 'I', 7, "1"},
        {"I 5abc 1 x", 'I', 5, "abc"},  // the index ends at its last digit
        {" 5 1 x", ' ', 5, "1"},         // a leading blank is the letter
        {"I 99999999999 1 x", 'I', INT32_MAX, "1"},
        {"I -99999999999 1 x", 'I', INT32_MIN, "1"},
        {"I 7 " + std::string(63, '9') + " x", 'I', 7, std::string(63, '9')},
        {"I 7 " + std::string(64, '9') + " x", std::nullopt, 0, ""},
        {"B 5 1", std::nullopt, 0, ""},
        {"B 5 1 \r\n", std::nullopt, 0, ""},
        {" B 5 1 x", std::nullopt, 0, ""},
        {"B x 1 y", std::nullopt, 0, ""},
        {"B - 1 y", std::nullopt, 0, ""},
        {"B", std::nullopt, 0, ""},
        {"\n", std::nullopt, 0, ""},
        {"", std::nullopt, 0, ""},
    };
    for (const auto& r : kRows) {
        const auto parsed = parse_parameter_line(r.line);
        ASSERT_EQ(parsed.has_value(), r.letter.has_value()) << '"' << r.line << '"';
        if (!parsed) continue;
        EXPECT_EQ(parsed->letter, *r.letter) << r.line;
        EXPECT_EQ(parsed->index, r.index) << r.line;
        EXPECT_EQ(parsed->value, r.value) << r.line;
    }
}

class ParametersFile : public ControllerTest {
protected:
    // Reads `text` as the parameters file; returns what was written on
    // standard error.
    std::string read(const std::string& text) {
        testing::write_file(path, text);
        return read_file_named(path);
    }
    std::string read_file_named(const std::string& name) {
        std::strcpy(paramfilename, name.c_str());
        return stderr_of([] { VXD_read_parameters(); });
    }
    std::vector<std::uint8_t> block_bytes() {
        const auto* p = reinterpret_cast<const std::uint8_t*>(header());
        return {p, p + ctl().block().layout().space};
    }
    testing::TempDir dir;
    std::string path = dir.file("ctl_params.txt");
};

TEST_F(ParametersFile, AppliesTypedStartValues) {
    set_forced(b(5), true);
    EXPECT_EQ(read("2147483647\n"
                   "B 5 3 input\n"
                   "B 6 2 output\n"
                   "I 523 -12 passes\n"
                   "I 524 abc result\n"
                   "F 10 20000 period\n"
                   "F 17 0.1 out\n"
                   "C 53 321 out\n"),
              "");
    EXPECT_TRUE(cur(b(5)) && prev(b(5)) && forced(b(5)));
    EXPECT_FALSE(cur(b(6)) || prev(b(6)));
    EXPECT_EQ(cur(i(523)), -12);
    EXPECT_EQ(prev(i(523)), -12);
    EXPECT_EQ(cur(i(524)), 0);
    EXPECT_EQ(cur(f(10)), 20000.0f);
    EXPECT_EQ(cur(f(17)), 0.1f);
    EXPECT_EQ(prev(f(17)), 0.1f);
    EXPECT_EQ(cur(c(53)), 65);
    EXPECT_EQ(prev(c(53)), 65);
}

TEST_F(ParametersFile, FloatValuesRoundToSinglePrecision) {
    EXPECT_EQ(read("2147483647\nF 13 3.4028235e38 x\nF 14 3.5e38 x\nF 15 -1e39 x\nF 16 1e-50 x\n"), "");
    EXPECT_EQ(cur(f(13)), FLT_MAX);
    EXPECT_EQ(cur(f(14)), INFINITY);
    EXPECT_EQ(cur(f(15)), -INFINITY);
    EXPECT_EQ(cur(f(16)), 0.0f);
}

// Lines for cells outside their area, and lines with another letter, are
// skipped; the reading goes on with the next line.
TEST_F(ParametersFile, BadIndexesAndUnknownLettersAreSkipped) {
    const auto before = block_bytes();
    EXPECT_EQ(read("2147483647\n"
                   "B 8 1 x\nB -1 1 x\nI 534 1 x\nI -311 1 x\nF 18 1 x\nF -1 1 x\nC 54 1 x\nC -2147483648 1 x\n"
                   "I 99999999999 1 x\nX 523 5 x\nb 5 1 x\n 523 5 x\n"),
              "");
    EXPECT_EQ(block_bytes(), before);
    EXPECT_EQ(read("2147483647\nI 534 1 x\nX 523 5 x\nI 530 9 x\n"), "");
    EXPECT_EQ(cur(i(530)), 9);
}

TEST_F(ParametersFile, AMalformedOrEmptyLineEndsTheReading) {
    for (const char* stop : {"I 523 5\n", "\n", "I 523 5 \n", "I x 5 y\n"}) {
        set_start_value(i(530), 0);
        set_start_value(i(529), 0);
        EXPECT_EQ(read(std::string("2147483647\nI 529 1 x\n") + stop + "I 530 9 x\n"), "") << stop;
        EXPECT_EQ(cur(i(529)), 1) << stop;
        EXPECT_EQ(cur(i(530)), 0) << stop;
    }
}

TEST_F(ParametersFile, MissingFileOrWrongSignatureChangesNothing) {
    const auto before = block_bytes();
    EXPECT_EQ(read_file_named(dir.file("none.txt")), "can't open file " + dir.file("none.txt") + "\n");
    const std::string refused = "bad signature in file " + path + "\n";
    for (const char* file : {"2147483646\nI 523 5 x\n", "\nI 523 5 x\n", "", "signature\nI 523 5 x\n", "-2147483647\n",
                             "2147483648\nI 523 5 x\n", "99999999999\nI 523 5 x\n"})
        EXPECT_EQ(read(file), refused) << '"' << file << '"';
    EXPECT_EQ(block_bytes(), before);
    EXPECT_EQ(read(" 2147483647 build 7\nI 523 5 x\n"), "");
    EXPECT_EQ(cur(i(523)), 5);
}

}  // namespace
}  // namespace vx::unit
