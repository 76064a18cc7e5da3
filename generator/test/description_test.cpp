// Reading controller descriptions: what a sound one yields, and the error
// (file, line, message) for each way a description can be wrong.
#include <gtest/gtest.h>

#include "vx/grafcet/description.hpp"

namespace vx::grafcet {
namespace {

// Lines 1 to 6 of every description below; cases add their lines from 7.
constexpr std::string_view kHead =
    "graph g\n"
    "unit u\n"
    "input a b\n"
    "output y z\n"
    "component c\n"
    "step 1 initial\n";

std::vector<std::string> errors_of(std::string_view text) {
    std::vector<std::string> out;
    for (const Diagnostic& d : parse_description(text, "g.grafcet").errors) out.push_back(d.text());
    return out;
}

TEST(Description, ReadsASoundDescription) {
    const auto parsed = parse_description(
        "# a comment line\n"
        "graph tarvo   # the graph\n"
        "unit unitA\n"
        "signature -5\n"
        "generation-time 1418381562\n"
        "input jour, nuit\n"
        "output vert rouge\n"
        "component pedestrian\n"
        "step 11 action rouge vert\n"
        "step X_10 initial\n"
        "transition 11 -> X_10 when t(X_11) >= 1.5 s & not jour\n"
        "component vehicle\n"
        "  step 20 initial action N:vert\n"
        "  transition 20 -> 20 when X_11 | nuit\n",
        "d");
    ASSERT_TRUE(parsed.graph) << (parsed.errors.empty() ? "" : parsed.errors.front().text());
    const Graph& g = *parsed.graph;
    EXPECT_EQ(g.name, "tarvo");
    EXPECT_EQ(g.name_line, 2);
    EXPECT_EQ(g.unit, "unitA");
    EXPECT_EQ(g.signature, -5);
    EXPECT_EQ(g.generation_time, 1418381562);
    ASSERT_EQ(g.variables.size(), 4u);
    EXPECT_EQ(g.variables[1].name, "nuit");
    EXPECT_EQ(g.variables[1].direction, Direction::Input);
    EXPECT_EQ(g.variables[2].direction, Direction::Output);
    ASSERT_EQ(g.components.size(), 2u);
    ASSERT_EQ(g.steps.size(), 3u);
    EXPECT_EQ(g.steps[0].number, 11);
    EXPECT_FALSE(g.steps[0].initial);
    EXPECT_EQ(g.steps[0].actions, (std::vector<std::string>{"rouge", "vert"}));
    EXPECT_EQ(g.steps[1].number, 10);
    EXPECT_TRUE(g.steps[1].initial);
    EXPECT_EQ(g.steps[2].component, 1u);
    EXPECT_EQ(g.steps[2].actions, (std::vector<std::string>{"vert"}));
    ASSERT_EQ(g.transitions.size(), 2u);
    EXPECT_EQ(g.transitions[0].from, 11);
    EXPECT_EQ(g.transitions[0].to, 10);
    EXPECT_EQ(g.transitions[0].line, 11);
    EXPECT_EQ(g.transitions[0].text, "t(X_11) >= 1.5 s & not jour");
    EXPECT_EQ(to_text(g.transitions[0].receptivity), "t(X_11) >= 1.5 s & not jour");
    EXPECT_EQ(g.transitions[1].component, 1u);
}

// Files saved by other editors: a byte order mark, carriage returns.
TEST(Description, ReadsAByteOrderMarkAndCrLfLineEnds) {
    const auto parsed = parse_description("\xEF\xBB\xBFgraph g\r\nunit u\r\ninput a\r\ncomponent c\r\n"
                                          "step 1 initial\r\ntransition 1 -> 1 when a\r\n",
                                          "d");
    ASSERT_TRUE(parsed.graph) << parsed.errors.front().text();
    EXPECT_EQ(parsed.graph->name, "g");
    EXPECT_EQ(parsed.graph->transitions.front().text, "a");
}

TEST(Description, ALineOfSeparatorsOnlyIsBlank) {
    const auto parsed = parse_description(std::string(kHead) + ",\n , ,\t# note\n", "d");
    EXPECT_TRUE(parsed.graph) << parsed.errors.front().text();
}

TEST(Description, DefaultsSignatureAndGenerationTime) {
    const auto parsed = parse_description(kHead, "d");
    ASSERT_TRUE(parsed.graph);
    EXPECT_EQ(parsed.graph->signature, 2147483647);
    EXPECT_EQ(parsed.graph->generation_time, 0);
}

struct BadCase {
    std::string lines;  // added after kHead, from line 7
    std::string error;  // the first error, as printed
};

class DescriptionError : public ::testing::TestWithParam<BadCase> {};

TEST_P(DescriptionError, NamesFileLineAndFault) {
    const auto errors = errors_of(std::string(kHead) + GetParam().lines);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), GetParam().error);
    EXPECT_FALSE(parse_description(std::string(kHead) + GetParam().lines, "g.grafcet").graph);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Lines, DescriptionError, ::testing::Values(
    BadCase{"stpe 2\n", "g.grafcet:7: error: unknown declaration 'stpe': expected graph, unit, signature, generation-time, input, output, component, step, transition, block, model, actor or product"},
    BadCase{"graph h\n", "g.grafcet:7: error: 'graph' is declared twice (first on line 1)"},
    BadCase{"unit v\n", "g.grafcet:7: error: 'unit' is declared twice (first on line 2)"},
    BadCase{"signature 2147483648\n", "g.grafcet:7: error: 'signature' takes one whole number from -2147483648 to 2147483647"},
    BadCase{"generation-time soon\n", "g.grafcet:7: error: 'generation-time' takes one whole number from -2147483648 to 2147483647"},
    BadCase{"signature 1\nsignature 2\n", "g.grafcet:8: error: 'signature' is declared twice (first on line 7)"},
    BadCase{"input a\n", "g.grafcet:7: error: variable 'a' is declared twice (first on line 3)"},
    BadCase{"output 2x\n", "g.grafcet:7: error: '2x' is not a valid name: a name starts with a letter and holds letters, digits and '_'"},
    BadCase{"input\n", "g.grafcet:7: error: 'input' needs at least one variable name"},
    BadCase{"input not\n", "g.grafcet:7: error: 'not' cannot name a variable: it is the negation of the receptivity notation"},
    BadCase{"input X_3\n", "g.grafcet:7: error: 'X_3' cannot name a variable: X_ names the steps"},
    BadCase{"output TIMER_3\n", "g.grafcet:7: error: 'TIMER_3' cannot name a variable: TIMER_ names the step timers"},
    BadCase{"output traceon\n", "g.grafcet:7: error: 'traceon' cannot name a variable: it is a control variable of the runtime"},
    BadCase{"input pospid\n", "g.grafcet:7: error: 'pospid' cannot name a variable: it is a control variable of the runtime"},
    BadCase{"component c\n", "g.grafcet:7: error: component 'c' is declared twice (first on line 5)"},
    BadCase{"component\n", "g.grafcet:7: error: 'component' takes one name"},
    BadCase{"component d\ncomponent e\nstep 2\n", "g.grafcet:7: error: component 'd' has no steps"},
    BadCase{"step 1\n", "g.grafcet:7: error: step 1 is declared twice (first on line 6)"},
    BadCase{"step\n", "g.grafcet:7: error: 'step' needs a step number"},
    BadCase{"step two\n", "g.grafcet:7: error: 'two' is not a step number"},
    BadCase{"step 2 first\n", "g.grafcet:7: error: unexpected 'first' after step 2: expected 'initial' or 'action'"},
    BadCase{"step 2 action\n", "g.grafcet:7: error: 'action' needs at least one output"},
    BadCase{"step 2 action y y\n", "g.grafcet:7: error: step 2 names output 'y' twice"},
    BadCase{"step 2 action w\n", "g.grafcet:7: error: the action of step 2 names unknown output 'w'"},
    BadCase{"step 2 action a\n", "g.grafcet:7: error: the action of step 2 names 'a', which is an input: actions drive outputs only"},
    BadCase{"step 2 action S:y\n", "g.grafcet:7: error: stored actions are not supported ('S:y'): an action is continuous, its outputs are 1 while the step is active"},
    BadCase{"step 2 action R:y\n", "g.grafcet:7: error: stored actions are not supported ('R:y'): an action is continuous, its outputs are 1 while the step is active"},
    BadCase{"step 2 action D:y\n", "g.grafcet:7: error: delayed actions are not supported ('D:y'): an action is continuous, its outputs are 1 while the step is active"},
    BadCase{"step 2 action C:y\n", "g.grafcet:7: error: conditional actions are not supported ('C:y'): an action is continuous, its outputs are 1 while the step is active"},
    BadCase{"step 2 action Q:y\n", "g.grafcet:7: error: unknown action qualifier 'Q' in 'Q:y'"},
    BadCase{"transition 1 -> 2\n", "g.grafcet:7: error: a transition is written 'transition <step> -> <step> when <receptivity>'"},
    BadCase{"transition 1 2 when a\n", "g.grafcet:7: error: a transition is written 'transition <step> -> <step> when <receptivity>'"},
    BadCase{"step 2\nstep 3\ntransition 1 -> 2 -> 3 when a\n", "g.grafcet:9: error: a transition is written 'transition <step> -> <step> when <receptivity>'"},
    BadCase{"step 2\nstep 3\ntransition 1 -> 2, 3 when a\n", "g.grafcet:9: error: parallel branches are not supported: a transition has exactly one upstream step and one downstream step"},
    BadCase{"step 2\nstep 3\ntransition 1 & 2 -> 3 when a\n", "g.grafcet:9: error: parallel branches are not supported: a transition has exactly one upstream step and one downstream step"},
    BadCase{"transition -> 1 when a\n", "g.grafcet:7: error: the transition has no upstream step"},
    BadCase{"transition 1 -> x when a\n", "g.grafcet:7: error: 'x' is not a step number"},
    BadCase{"transition 1 -> 9 when a\n", "g.grafcet:7: error: unknown downstream step 9 in transition 1 -> 9"},
    BadCase{"transition 9 -> 1 when a\n", "g.grafcet:7: error: unknown upstream step 9 in transition 9 -> 1"},
    BadCase{"component d\nstep 2\ntransition 1 -> 2 when a\n", "g.grafcet:9: error: transition 1 -> 2 is listed in component 'd' but its upstream step 1 belongs to component 'c'"},
    BadCase{"step 2\ncomponent d\nstep 3\ntransition 3 -> 2 when a\n", "g.grafcet:10: error: transition 3 -> 2 is listed in component 'd' but its downstream step 2 belongs to component 'c'"},
    BadCase{"step 2\nstep 3\nstep 4\ntransition 1 -> 2 when a\ntransition 1 -> 3 when b\ntransition 1 -> 4 when a\n", "g.grafcet:12: error: step 1 has a third outgoing transition (the others are on lines 10 and 11): a choice has two transitions at most"},
    BadCase{"transition 1 -> 1 when\n", "g.grafcet:7: error: malformed receptivity of transition 1 -> 1 at column 1: empty expression"},
    BadCase{"transition 1 -> 1 when (a | b\n", "g.grafcet:7: error: malformed receptivity of transition 1 -> 1 at column 7: expected ')'"},
    BadCase{"transition 1 -> 1 when a & jour\n", "g.grafcet:7: error: unknown variable 'jour' in the receptivity of transition 1 -> 1"},
    BadCase{"transition 1 -> 1 when X_7\n", "g.grafcet:7: error: unknown step X_7 in the receptivity of transition 1 -> 1"},
    BadCase{"transition 1 -> 1 when t(X_8) >= 1 s\n", "g.grafcet:7: error: unknown step X_8 in the receptivity of transition 1 -> 1"},
    BadCase{"transition 1 -> 1 when t(X_1) >= 1" + std::string(400, '0') + " s\n", "g.grafcet:7: error: the duration 1" + std::string(400, '0') + " s in the receptivity of transition 1 -> 1 is out of range"},
    // Function blocks
    BadCase{"block t1\n", "g.grafcet:7: error: a block is written 'block <name> <TYPE> <input> = <value>, ...'"},
    BadCase{"block t1 TIMER IN = a\n", "g.grafcet:7: error: unknown function block 'TIMER': expected one of TON, TOF, TP, CTU, CTD, CTUD, R_TRIG, F_TRIG, RS, SR"},
    BadCase{"block t__1 TON PT = 1 s\n", "g.grafcet:7: error: 't__1' cannot name a block: '__' joins names to their members in the generated code"},
    BadCase{"block t1 TON IN = a\n", "g.grafcet:7: error: block 't1' needs its input PT"},
    BadCase{"block t1 TON IN = a, PT = 1 s, PV = 3\n", "g.grafcet:7: error: TON has no input 'PV' (its inputs: IN, PT)"},
    BadCase{"block t1 TON IN = a, IN = b, PT = 1 s\n", "g.grafcet:7: error: input IN of block 't1' is given twice"},
    BadCase{"block t1 TON IN a, PT = 1 s\n", "g.grafcet:7: error: expected '<input> = <value>' in block 't1', found 'IN a'"},
    BadCase{"block t1 TON PT = 3\n", "g.grafcet:7: error: input PT of block 't1' takes a duration such as '3 s' or '250 ms', not '3'"},
    BadCase{"block t1 TON PT = -1 s\n", "g.grafcet:7: error: input PT of block 't1' takes a duration such as '3 s' or '250 ms', not '-1 s'"},
    BadCase{"block t1 TON PT = 1e300 s\n", "g.grafcet:7: error: input PT of block 't1' takes a duration such as '3 s' or '250 ms', not '1e300 s'"},
    BadCase{"block c1 CTU CU = a, PV = 40000\n", "g.grafcet:7: error: input PV of block 'c1' takes a whole number from -32768 to 32767, not '40000'"},
    BadCase{"block c1 CTU CU = a &\n", "g.grafcet:7: error: malformed input CU of block 'c1' at column 4: an operand is missing at the end"},
    BadCase{"block c1 CTU CU = w, PV = 1\n", "g.grafcet:7: error: unknown variable 'w' in input CU of block 'c1'"},
    BadCase{"block c1 CTU CU = a, PV = 1\nblock c1 R_TRIG CLK = b\n", "g.grafcet:8: error: the name 'c1' is already declared (on line 7)"},
    BadCase{"block a R_TRIG CLK = b\n", "g.grafcet:7: error: the name 'a' is already declared (on line 3)"},
    BadCase{"block c1 CTU CU = a, PV = 1\ntransition 1 -> 1 when c1.CV\n", "g.grafcet:8: error: 'c1.CV' in the receptivity of transition 1 -> 1 is a number: compare it with a constant (c1.CV >= 1)"},
    BadCase{"block c1 CTU CU = a, PV = 1\ntransition 1 -> 1 when c1.Q >= 1\n", "g.grafcet:8: error: 'c1.Q' in the receptivity of transition 1 -> 1 is a bool: it is read alone, not compared with a number"},
    BadCase{"block c1 CTU CU = a, PV = 1\ntransition 1 -> 1 when c1.CV >= 1 s\n", "g.grafcet:8: error: 'c1.CV' in the receptivity of transition 1 -> 1 is not a duration: write the constant without a unit"},
    BadCase{"block t1 TON PT = 1 s\ntransition 1 -> 1 when t1.ET >= 5\n", "g.grafcet:8: error: 't1.ET' in the receptivity of transition 1 -> 1 is a duration: give the constant its unit (s or ms)"},
    BadCase{"block t1 TON PT = 1 s\nblock c1 CTU PV = 1\ntransition 1 -> 1 when t1.ET >= c1.CV\n", "g.grafcet:9: error: a duration is compared with a duration only, not 't1.ET' with 'c1.CV' in the receptivity of transition 1 -> 1"},
    BadCase{"block t1 TON PT = 1 s\ntransition 1 -> 1 when t1.QQ\n", "g.grafcet:8: error: unknown variable 't1.QQ' in the receptivity of transition 1 -> 1"},
    // Plant objects
    BadCase{"model m bool x\n", "g.grafcet:7: error: 'x' cannot name a variable of model 'm': every object has its status and its position x, y, z"},
    BadCase{"model m bool v int v\n", "g.grafcet:7: error: model 'm' declares variable 'v' twice"},
    BadCase{"model m extra\n", "g.grafcet:7: error: unexpected 'extra' in model 'm': expected 'behaviour', 'bool', 'int' or 'float'"},
    BadCase{"model m\nmodel m\n", "g.grafcet:8: error: model 'm' is declared twice (first on line 7)"},
    BadCase{"actor belt at 0 0 0\n", "g.grafcet:7: error: an actor is written 'actor <name> model <model> ...'"},
    BadCase{"actor belt model w\n", "g.grafcet:7: error: unknown model 'w' of actor 'belt'"},
    BadCase{"model m\nactor belt model m size 1 0 1\n", "g.grafcet:8: error: 'size' takes three positive numbers"},
    BadCase{"model m\nactor belt model m at 1 2\n", "g.grafcet:8: error: 'at' takes three numbers"},
    BadCase{"model m\nproduct p model m slots 0\n", "g.grafcet:8: error: unexpected 'slots' in product 'p': expected 'slots <1 to 1000>', 'alive', 'at <x> <y> <z>' or 'size <x> <y> <z>'"},
    BadCase{"model m\nproduct p model m slots 2\nactor p_2 model m\n", "g.grafcet:9: error: the name 'p_2' is already declared (on line 8)"},
    BadCase{"model m\nactor belt model m\ntransition 1 -> 1 when belt.speed > 1\n", "g.grafcet:9: error: unknown variable 'belt.speed' in the receptivity of transition 1 -> 1"},
    BadCase{"model m behaviour g_y\n", "g.grafcet:7: error: model 'm' and variable 'y' would both be named 'g_y' in the generated code: rename one of them"}));
// clang-format on

TEST(Description, ReadsBlocksModelsAndObjects) {
    const auto parsed = parse_description(std::string(kHead) +
                                              "block t1 TON IN = a & not b, PT = 1.5 s\n"
                                              "block c1 CTUD CU = t1.Q, PV = -3\n"
                                              "model box behaviour box_run bool hit int n float w\n"
                                              "model wall\n"
                                              "product box model box slots 2 at 1 2 3\n"
                                              "actor wall model wall id 7 size 4 5 6\n"
                                              "transition 1 -> 1 when c1.CV <= 2 & t1.ET >= 250 ms & box_2.x > wall.x\n",
                                          "d");
    ASSERT_TRUE(parsed.graph) << parsed.errors.front().text();
    const Graph& g = *parsed.graph;
    ASSERT_EQ(g.blocks.size(), 2u);
    EXPECT_EQ(g.blocks[0].type().type, "TON");
    EXPECT_EQ(to_text(*g.blocks[0].inputs[0].expression), "a & not b");
    EXPECT_EQ(g.blocks[0].inputs[1].value, 15000);
    EXPECT_EQ(g.blocks[1].inputs[0].text, "t1.Q");
    EXPECT_EQ(g.blocks[1].inputs[1].text, "FALSE");  // left out
    EXPECT_EQ(g.blocks[1].inputs[4].value, -3);
    ASSERT_EQ(g.objects.size(), 3u);  // the actor first, then the slots
    EXPECT_EQ(g.objects[0].name, "wall");
    EXPECT_EQ(g.objects[0].id, 7);
    EXPECT_EQ(g.objects[0].size, (std::array<double, 3>{4, 5, 6}));
    EXPECT_EQ(g.objects[2].name, "box_2");
    EXPECT_FALSE(g.objects[2].alive);
    EXPECT_EQ(g.objects[2].at, (std::array<double, 3>{1, 2, 3}));
    EXPECT_EQ(g.models[g.objects[2].model].behaviour, "box_run");
    ASSERT_TRUE(resolve(g, "box_1.w"));
    EXPECT_EQ(resolve(g, "box_1.w")->type, ValueType::Float);
    EXPECT_EQ(resolve(g, "box_1.x")->c_name, "(g_box_1__matrix + 3)");
    EXPECT_EQ(resolve(g, "t1.ET")->type, ValueType::Time);
    EXPECT_FALSE(resolve(g, "t1.CV"));
}

TEST(Description, MissingDeclarationsAreReportedAtTheEnd) {
    EXPECT_EQ(errors_of("input a\n\n"), (std::vector<std::string>{
                                            "g.grafcet:2: error: the description names no graph: add 'graph <name>'",
                                            "g.grafcet:2: error: the description names no unit: add 'unit <name>'",
                                        }));
    EXPECT_EQ(errors_of("graph g\nunit u\ninput a\n"),
              (std::vector<std::string>{"g.grafcet:3: error: the graph has no steps"}));
    EXPECT_EQ(errors_of("graph g\nunit u\nstep 1\n"),
              (std::vector<std::string>{
                  "g.grafcet:3: error: step outside a component: declare 'component <name>' first"}));
}

TEST(Description, RefusesAGraphNameTooLongForTheTaskName) {
    const std::string name(47, 'g');
    EXPECT_EQ(errors_of("graph " + name + "\nunit u\ncomponent c\nstep 1\n"),
              (std::vector<std::string>{"g.grafcet:1: error: graph name '" + name + "' is too long: the task name '" +
                                        name + ".exe' must fit in 50 characters"}));
    EXPECT_TRUE(parse_description("graph " + name.substr(1) + "\nunit u\ncomponent c\nstep 1\n", "d").graph);
}

// Every error is reported, in line order, and a refused line does not bring
// follow-up errors about what it failed to declare.
TEST(Description, ReportsEveryErrorOnceInLineOrder) {
    EXPECT_EQ(errors_of(std::string(kHead) +
                        "step 2 action S:y\n"             // 7
                        "transition 1 -> 2 when bogus\n"  // 8
                        "transition 2 -> 1 when X_2\n"    // 9: step 2 refused on line 7, no error here
                        "component 9x\n"                  // 10
                        "step 5\n"                        // 11: under the refused component, skipped
                        "frobnicate\n"),                  // 12
              (std::vector<std::string>{
                  "g.grafcet:7: error: stored actions are not supported ('S:y'): an action is continuous, its outputs "
                  "are 1 while the step is active",
                  "g.grafcet:8: error: unknown variable 'bogus' in the receptivity of transition 1 -> 2",
                  "g.grafcet:10: error: '9x' is not a valid name: a name starts with a letter and holds letters, "
                  "digits and '_'",
                  "g.grafcet:12: error: unknown declaration 'frobnicate': expected graph, unit, signature, "
                  "generation-time, input, output, component, step, transition, block, model, actor or product",
              }));
}

}  // namespace
}  // namespace vx::grafcet
