// Texts in the graph file: whatever a description holds, the file stays JSON.
#include <gtest/gtest.h>

#include "vx/grafcet/graph_file.hpp"

namespace vx::grafcet {
namespace {

struct Escape {
    std::string text;
    const char* json;
};

class JsonString : public ::testing::TestWithParam<Escape> {};

TEST_P(JsonString, EscapesWhatJsonCannotHoldAsIs) { EXPECT_EQ(json_string(GetParam().text), GetParam().json); }

INSTANTIATE_TEST_SUITE_P(Table, JsonString,
                         ::testing::Values(Escape{"t(X_21) >= 5 s", R"("t(X_21) >= 5 s")"}, Escape{"", R"("")"},
                                           Escape{"say \"hi\"", R"("say \"hi\"")"}, Escape{"a\\b", R"("a\\b")"},
                                           Escape{"a\nb\tc\r", R"("a\u000ab\u0009c\u000d")"},
                                           Escape{std::string("\x01\x1f\x7f", 3), R"("\u0001\u001f\u007f")"},
                                           Escape{"caf\xc3\xa9", "\"caf\xc3\xa9\""},
                                           Escape{"caf\xe9", R"("caf\u00e9")"}, Escape{"\xc3", R"("\u00c3")"},
                                           Escape{std::string("a\0b", 3), R"("a\u0000b")"}));

}  // namespace
}  // namespace vx::grafcet
