// Code generation details that the five controllers do not show: choices,
// graphs without timers or actions, literals at the edges.
#include <gtest/gtest.h>

#include "vx/grafcet/codegen.hpp"
#include "vx/grafcet/description.hpp"

namespace vx::grafcet {
namespace {

std::vector<GeneratedFile> modules_of(std::string_view text) {
    auto parsed = parse_description(text, "g");
    EXPECT_TRUE(parsed.graph) << (parsed.errors.empty() ? "" : parsed.errors.front().text());
    if (!parsed.graph) return {};
    return generate_modules(*parsed.graph, derive_layout(*parsed.graph), "g.grafcet");
}

const std::string& file(const std::vector<GeneratedFile>& files, std::string_view name) {
    static const std::string none;
    for (const GeneratedFile& f : files)
        if (f.name == name) return f.text;
    ADD_FAILURE() << "no file " << name;
    return none;
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

TEST(Codegen, NamesTheFourModulesAfterTheGraph) {
    const auto files = modules_of("graph g\nunit u\ncomponent c\nstep 1 initial\n");
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].name, "g.h");
    EXPECT_EQ(files[1].name, "g.c");
    EXPECT_EQ(files[2].name, "g_init.c");
    EXPECT_EQ(files[3].name, "g_sign.c");
    EXPECT_TRUE(contains(files[0].text, "int32_t _u__g_init(void);"));
    EXPECT_TRUE(contains(files[0].text, "int32_t u__g(void);"));
}

TEST(Codegen, TheSecondTransitionOfAChoiceYieldsToTheFirst) {
    const auto files = modules_of(
        "graph g\nunit u\ninput a b\ncomponent c\nstep 1 initial\nstep 2\nstep 3\n"
        "transition 1 -> 2 when a\ntransition 2 -> 1 when b\ntransition 1 -> 3 when not a | b\n");
    const std::string& graph = file(files, "g.c");
    EXPECT_TRUE(contains(graph, "const int fire_1 = vx_bool_cur(g__X_1) && vx_bool_cur(g_a);"));
    EXPECT_TRUE(contains(graph, "const int fire_2 = vx_bool_cur(g__X_2) && vx_bool_cur(g_b);"));
    EXPECT_TRUE(
        contains(graph, "const int fire_3 = vx_bool_cur(g__X_1) && !fire_1 && (!vx_bool_cur(g_a) || vx_bool_cur(g_b));"));
}

// Unused static helpers would not compile with the project's warnings.
TEST(Codegen, EmitsOnlyTheHelpersTheGraphUses) {
    const auto bare = modules_of("graph g\nunit u\ninput a\ncomponent c\nstep 1 initial\nstep 2\n"
                                 "transition 1 -> 2 when a\n");
    EXPECT_FALSE(contains(file(bare, "g.c"), "step_time_reached"));
    EXPECT_FALSE(contains(file(bare, "g.c"), "step_left"));
    EXPECT_FALSE(contains(file(bare, "g.c"), "self.intCells +="));

    const auto timed = modules_of("graph g\nunit u\ncomponent c\nstep 1 initial\nstep 2\n"
                                  "transition 1 -> 2 when t(X_1) >= .5 s\ntransition 2 -> 1 when t(X_2) >= 5. s\n");
    EXPECT_TRUE(contains(file(timed, "g.c"), "step_time_reached(g__TIMER_1, 0.5)"));
    EXPECT_TRUE(contains(file(timed, "g.c"), "step_time_reached(g__TIMER_2, 5.0)"));
    EXPECT_FALSE(contains(file(timed, "g.c"), "step_left"));
}

TEST(Codegen, SignatureAndGenerationTimeCoverTheWholeInt32Range) {
    const auto files = modules_of("graph g\nunit u\nsignature -2147483648\ngeneration-time -1\n"
                                  "component c\nstep 1\n");
    EXPECT_TRUE(contains(file(files, "g_sign.c"), "int32_t getSignature(void) { return INT32_MIN; }"));
    EXPECT_TRUE(contains(file(files, "g_sign.c"), "int32_t getGenerationTime(void) { return -1; }"));
}

// What the generator writes, the console and the tests read back as the
// layout's own symbols.
TEST(Codegen, TheSymbolFileReadsBackAsTheLayout) {
    auto parsed = parse_description("graph g\nunit u\ninput a\noutput y\ncomponent c\nstep 1 initial action y\n"
                                    "step 2\ntransition 1 -> 2 when t(X_1) >= 1 s\ntransition 2 -> 1 when a\n",
                                    "g");
    ASSERT_TRUE(parsed.graph);
    const GraphLayout layout = derive_layout(*parsed.graph);
    const GeneratedFile file = generate_symbols(*parsed.graph, layout);
    EXPECT_EQ(file.name, "g.vars");
    EXPECT_TRUE(file.text.starts_with("# Symbols of controller g (unit u, graph g); generated, do not edit.\n"));
    EXPECT_EQ(parse_symbol_file(file.text, file.name),
              (SymbolFile{"g", layout.counts, symbols(*parsed.graph, layout), {}}));
}

}  // namespace
}  // namespace vx::grafcet
