// Conversions: one line per case, the value and the error code it leaves.
#include <cmath>
#include <functional>
#include <limits>

#include "iec_fixture.hpp"

namespace iec::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Case {
    const char* what;
    std::function<double()> call;
    double expected;
    std::int32_t error;
};

class Conversions : public IecTest {
protected:
    void check(const Case& c) {
        LIBFB_ERR = 4242;  // every entry clears what an earlier call left
        EXPECT_EQ(c.call(), c.expected) << c.what;
        EXPECT_EQ(LIBFB_ERR, c.error) << c.what;
    }
};

TEST_F(Conversions, AmongBoolIntegersAndReal) {
    const Case kCases[] = {
        {"bool_to_byte keeps the byte", [] { return bool_to_byte_OUT(2); }, 2, 0},
        {"bool_to_word zero-extends", [] { return bool_to_word_OUT(255); }, 255, 0},
        {"bool_to_sint reinterprets", [] { return bool_to_sint_OUT(255); }, -1, 0},
        {"bool_to_real of 2", [] { return bool_to_real_OUT(2); }, 1.0, 0},
        {"byte_to_bool 0", [] { return byte_to_bool_OUT(0); }, 0, 0},
        {"byte_to_bool 16", [] { return byte_to_bool_OUT(16); }, 1, 0},
        {"byte_to_sint 200", [] { return byte_to_sint_OUT(200); }, -56, 0},
        {"byte_to_int 255", [] { return byte_to_int_OUT(255); }, 255, 0},
        {"word_to_byte low bits", [] { return word_to_byte_OUT(0x1234); }, 0x34, 0},
        {"word_to_sint low bits", [] { return word_to_sint_OUT(0xFF80); }, -128, 0},
        {"word_to_int 65535", [] { return word_to_int_OUT(65535); }, -1, 0},
        {"word_to_dint 65535", [] { return word_to_dint_OUT(65535); }, 65535, 0},
        {"dword_to_word low bits", [] { return dword_to_word_OUT(0x12345678u); }, 0x5678, 0},
        {"dword_to_int low bits", [] { return dword_to_int_OUT(0x18000u); }, -32768, 0},
        {"dword_to_dint all ones", [] { return dword_to_dint_OUT(0xFFFFFFFFu); }, -1, 0},
        {"dword_to_real rounds", [] { return dword_to_real_OUT(0xFFFFFFFFu); }, 4294967296.0, 0},
        {"sint_to_byte -1", [] { return sint_to_byte_OUT(-1); }, 255, 0},
        {"sint_to_word -1", [] { return sint_to_word_OUT(-1); }, 255, 0},
        {"sint_to_dword -1", [] { return sint_to_dword_OUT(-1); }, 255, 0},
        {"sint_to_int -1", [] { return sint_to_int_OUT(-1); }, -1, 0},
        {"sint_to_real -128", [] { return sint_to_real_OUT(-128); }, -128, 0},
        {"int_to_byte -1", [] { return int_to_byte_OUT(-1); }, 255, 0},
        {"int_to_word -1", [] { return int_to_word_OUT(-1); }, 65535, 0},
        {"int_to_dword -1", [] { return int_to_dword_OUT(-1); }, 65535, 0},
        {"int_to_sint 127", [] { return int_to_sint_OUT(127); }, 127, 0},
        {"int_to_sint 128", [] { return int_to_sint_OUT(128); }, 0, 1000},
        {"int_to_sint -128", [] { return int_to_sint_OUT(-128); }, -128, 0},
        {"int_to_sint -129", [] { return int_to_sint_OUT(-129); }, 0, 1000},
        {"dint_to_sint -129", [] { return dint_to_sint_OUT(-129); }, 0, 1000},
        {"dint_to_int -32768", [] { return dint_to_int_OUT(-32768); }, -32768, 0},
        {"dint_to_int 32768", [] { return dint_to_int_OUT(32768); }, 0, 1000},
        {"dint_to_word -1", [] { return dint_to_word_OUT(-1); }, 65535, 0},
        {"dint_to_dword -1", [] { return dint_to_dword_OUT(-1); }, 4294967295.0, 0},
        {"dint_to_real rounds", [] { return dint_to_real_OUT(16777217); }, 16777216.0, 0},
        {"real_to_bool NaN", [] { return real_to_bool_OUT(kNaN); }, 1, 0},
        {"real_to_bool -0.0", [] { return real_to_bool_OUT(-0.0f); }, 0, 0},
        {"real_to_bool 1e-45", [] { return real_to_bool_OUT(1e-45f); }, 1, 0},
    };
    for (const Case& c : kCases) check(c);
}

TEST_F(Conversions, RealRoundsTiesToEvenAndTestsTheRange) {
    const Case kCases[] = {
        {"int 2.5", [] { return real_to_int_OUT(2.5f); }, 2, 0},
        {"int 3.5", [] { return real_to_int_OUT(3.5f); }, 4, 0},
        {"int -2.5", [] { return real_to_int_OUT(-2.5f); }, -2, 0},
        {"int -3.5", [] { return real_to_int_OUT(-3.5f); }, -4, 0},
        {"int 1.6", [] { return real_to_int_OUT(1.6f); }, 2, 0},
        {"int -1.4", [] { return real_to_int_OUT(-1.4f); }, -1, 0},
        {"int -0.5", [] { return real_to_int_OUT(-0.5f); }, 0, 0},
        {"int 0.49999997 is not rounded up", [] { return real_to_int_OUT(0.49999997f); }, 0, 0},
        {"int 32767.4", [] { return real_to_int_OUT(32767.4f); }, 32767, 0},
        {"int 32767.5", [] { return real_to_int_OUT(32767.5f); }, 0, 1000},
        {"int -32768.5 ties to even", [] { return real_to_int_OUT(-32768.5f); }, -32768, 0},
        {"int NaN", [] { return real_to_int_OUT(kNaN); }, 0, 1000},
        {"int infinity", [] { return real_to_int_OUT(-kInf); }, 0, 1000},
        {"int 1e30", [] { return real_to_int_OUT(1e30f); }, 0, 1000},
        {"sint 127.5", [] { return real_to_sint_OUT(127.5f); }, 0, 1000},
        {"sint -128.5", [] { return real_to_sint_OUT(-128.5f); }, -128, 0},
        {"byte -0.3", [] { return real_to_byte_OUT(-0.3f); }, 0, 0},
        {"byte -0.6", [] { return real_to_byte_OUT(-0.6f); }, 0, 1000},
        {"byte 255.5", [] { return real_to_byte_OUT(255.5f); }, 0, 1000},
        {"word 65535.4", [] { return real_to_word_OUT(65535.4f); }, 65535, 0},
        {"word 65535.5", [] { return real_to_word_OUT(65535.5f); }, 0, 1000},
        {"dword -0.3 is tested before rounding", [] { return real_to_dword_OUT(-0.3f); }, 0, 1000},
        {"dword 2^32", [] { return real_to_dword_OUT(4294967296.0f); }, 0, 1000},
        {"dword largest below 2^32", [] { return real_to_dword_OUT(4294967040.0f); }, 4294967040.0, 0},
        {"dword 2.5", [] { return real_to_dword_OUT(2.5f); }, 2, 0},
        {"dword NaN", [] { return real_to_dword_OUT(kNaN); }, 0, 1000},
        {"dint 2.5", [] { return real_to_dint_OUT(2.5f); }, 2, 0},
        {"dint -2147483648", [] { return real_to_dint_OUT(-2147483648.0f); }, INT32_MIN, 0},
        {"dint 1e10 saturates", [] { return real_to_dint_OUT(1e10f); }, INT32_MAX, 0},
        {"dint -inf saturates", [] { return real_to_dint_OUT(-kInf); }, INT32_MIN, 0},
        {"dint NaN", [] { return real_to_dint_OUT(kNaN); }, 0, 0},
        {"trunc sint -128.9", [] { return trunc_real_to_sint_OUT(-128.9f); }, -128, 0},
        {"trunc sint 128.0", [] { return trunc_real_to_sint_OUT(128.0f); }, 0, 1000},
        {"trunc int -32768.9", [] { return trunc_real_to_int_OUT(-32768.9f); }, -32768, 0},
        {"trunc int NaN", [] { return trunc_real_to_int_OUT(kNaN); }, 0, 1000},
        {"trunc dint -7.9", [] { return trunc_real_to_dint_OUT(-7.9f); }, -7, 0},
        {"trunc dint 3e9 saturates", [] { return trunc_real_to_dint_OUT(3e9f); }, INT32_MAX, 0},
        {"trunc dint NaN", [] { return trunc_real_to_dint_OUT(kNaN); }, 0, 0},
    };
    for (const Case& c : kCases) check(c);
}

TEST_F(Conversions, Bcd) {
    const Case kCases[] = {
        {"byte 16#99", [] { return byte_BCD_to_sint_OUT(0x99); }, 99, 0},
        {"byte 16#1A", [] { return byte_BCD_to_sint_OUT(0x1A); }, 0, 1000},
        {"byte 16#A1", [] { return byte_BCD_to_sint_OUT(0xA1); }, 0, 1000},
        {"word 16#9999", [] { return word_BCD_to_int_OUT(0x9999); }, 9999, 0},
        {"word 16#12F4", [] { return word_BCD_to_int_OUT(0x12F4); }, 0, 1000},
        {"dword 16#99999999", [] { return dword_BCD_to_dint_OUT(0x99999999u); }, 99999999, 0},
        {"dword 16#A0000000", [] { return dword_BCD_to_dint_OUT(0xA0000000u); }, 0, 1000},
        {"sint 99", [] { return sint_to_BCD_byte_OUT(99); }, 0x99, 0},
        {"sint 100", [] { return sint_to_BCD_byte_OUT(100); }, 0, 1000},
        {"sint -1", [] { return sint_to_BCD_byte_OUT(-1); }, 0, 1000},
        {"int 1234", [] { return int_to_BCD_word_OUT(1234); }, 0x1234, 0},
        {"int 10000", [] { return int_to_BCD_word_OUT(10000); }, 0, 1000},
        {"int -1", [] { return int_to_BCD_word_OUT(-1); }, 0, 1000},
        {"dint 99999999", [] { return dint_to_BCD_dword_OUT(99999999); }, 0x99999999u, 0},
        {"dint 100000000", [] { return dint_to_BCD_dword_OUT(100000000); }, 0, 1000},
        {"dint INT32_MIN", [] { return dint_to_BCD_dword_OUT(INT32_MIN); }, 0, 1000},
    };
    for (const Case& c : kCases) check(c);
}

TEST_F(Conversions, ToStringWritesTheTextIntoANewStringOfItsCapacity) {
    struct Row {
        const char* what;
        std::function<CharCell*()> call;
        std::string text;
        std::int32_t capacity;
    };
    const Row kRows[] = {
        {"byte", [] { return byte_to_string_OUT(10); }, "16#0A", 6},
        {"word", [] { return word_to_string_OUT(0xBEEF); }, "16#BEEF", 8},
        {"dword", [] { return dword_to_string_OUT(0xDEADBEEFu); }, "16#DEADBEEF", 12},
        {"sint", [] { return sint_to_string_OUT(-128); }, "-128", 5},
        {"int", [] { return int_to_string_OUT(-32768); }, "-32768", 7},
        {"dint", [] { return dint_to_string_OUT(INT32_MIN); }, "-2147483648", 12},
        {"dint 0", [] { return dint_to_string_OUT(0); }, "0", 12},
        {"real", [] { return real_to_string_OUT(1.5f); }, "1.5", 11},
        {"real 0.1", [] { return real_to_string_OUT(0.1f); }, "0.1", 11},
        {"real 100000", [] { return real_to_string_OUT(100000.0f); }, "100000", 11},
        {"real 1e6", [] { return real_to_string_OUT(1e6f); }, "1e+06", 11},
        {"real -0", [] { return real_to_string_OUT(-0.0f); }, "-0", 11},
        {"real inf", [] { return real_to_string_OUT(kInf); }, "inf", 11},
        {"real cut at 11", [] { return real_to_string_OUT(-1.234567e-10f); }, "-1.23457e-1", 11},
    };
    for (const Row& r : kRows) {
        const CharCell* s = r.call();
        EXPECT_EQ(text(s), r.text) << r.what;
        EXPECT_EQ(capacity(s), r.capacity) << r.what;
        // Every character in cur and prev, zeros after the text.
        for (std::int32_t i = 0; i < capacity(s); ++i) {
            const auto expected = static_cast<std::uint8_t>(i < static_cast<int>(r.text.size()) ? r.text[i] : 0);
            EXPECT_EQ(vx::cur(s[3 + i]), expected) << r.what << " at " << i;
            EXPECT_EQ(vx::prev(s[3 + i]), expected) << r.what << " at " << i;
        }
    }
}

TEST_F(Conversions, FromStringReadsTheFirstCharactersAndKeepsTheLowBits) {
    const Case kCases[] = {
        {"int reads 6 characters", [] { return string_to_int_OUT(Str("12345678")); }, -7616, 0},
        {"int empty", [] { return string_to_int_OUT(Str("")); }, 0, 0},
        {"int capacity 0", [] { return string_to_int_OUT(Str("", 0)); }, 0, 0},
        {"int stops at the end of the text", [] { return string_to_int_OUT(Str("42", 10)); }, 42, 0},
        {"sint -128", [] { return string_to_sint_OUT(Str("-128")); }, -128, 0},
        {"sint 200", [] { return string_to_sint_OUT(Str("200")); }, -56, 0},
        {"sint 1234 low bits", [] { return string_to_sint_OUT(Str("1234")); }, -46, 0},
        {"dint low 32 bits", [] { return string_to_dint_OUT(Str("99999999999")); }, 1215752191, 0},
        {"dint white space and sign", [] { return string_to_dint_OUT(Str(" -12x")); }, -12, 0},
        {"dint nothing to read", [] { return string_to_dint_OUT(Str("--1")); }, 0, 0},
        {"byte without 16#", [] { return string_to_byte_OUT(Str("0A")); }, 0, 0},
        {"byte", [] { return string_to_byte_OUT(Str("16#0A")); }, 10, 0},
        {"byte two digits at most", [] { return string_to_byte_OUT(Str("16#ABC")); }, 0xAB, 0},
        {"byte negative", [] { return string_to_byte_OUT(Str("16#-1")); }, 255, 0},
        {"byte lone 0x", [] { return string_to_byte_OUT(Str("16#0x")); }, 0, 0},
        {"byte white space after 16#", [] { return string_to_byte_OUT(Str("16# F")); }, 15, 0},
        {"word", [] { return string_to_word_OUT(Str("16#BEEF1")); }, 0xBEEF, 0},
        {"word with prefix", [] { return string_to_word_OUT(Str("16#0x1A")); }, 0x1A, 0},
        {"dword", [] { return string_to_dword_OUT(Str("16#deadbeef")); }, 0xDEADBEEFu, 0},
        {"real", [] { return string_to_real_OUT(Str("1.5e3")); }, 1500, 0},
        {"real 15 characters", [] { return string_to_real_OUT(Str("123456789012345678")); }, 123456789012345.0f, 0},
        {"real nothing to read", [] { return string_to_real_OUT(Str("abc")); }, 0, 0},
        {"real beyond the range", [] { return string_to_real_OUT(Str("1e99")); }, kInf, 0},
    };
    for (const Case& c : kCases) check(c);
}

}  // namespace
}  // namespace iec::testing
