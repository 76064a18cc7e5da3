// The commands on a block in memory: names, lists, breakpoints, and the rule
// that a command with any bad input writes nothing.
#include <gtest/gtest.h>

#include <sstream>

#include "fake_block.hpp"
#include "vx/console/commands.hpp"

namespace vx::console {
namespace {

std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(Resolve, NamesRawCellsAndTheirChecks) {
    testing::FakeBlock block;
    const Session s = block.session();
    EXPECT_EQ(s.resolve("rouge").raw(), "B8");
    EXPECT_EQ(s.resolve("B8").label(), "rouge (B8)");  // a raw cell gets its name
    EXPECT_EQ(s.resolve("I400").label(), "I400");
    EXPECT_EQ(message_of([&] { s.resolve("B16"); }), "B16 lies outside the bool area (cells 0 to 15)");
    EXPECT_EQ(message_of([&] { s.resolve("F99999999999"); }), "F99999999999 lies outside the float area (cells 0 to 16)");
    EXPECT_EQ(message_of([&] { s.resolve("Jour"); }), "unknown variable 'Jour' (did you mean jour?) in program light");
    EXPECT_EQ(message_of([&] { s.resolve("b5"); }), "unknown variable 'b5' in program light");
}

TEST(Assignments, OneBadWordWritesNothing) {
    testing::FakeBlock block;
    const Session s = block.session();
    for (const char* bad : {"vert", "=1", "vert=", "vert=2", "nope=1", "B99=1"}) {
        EXPECT_THROW(set(s, {"jour=1", bad}), Failure) << bad;
        EXPECT_THROW(force(s, {"jour=1", bad}), Failure) << bad;
        EXPECT_EQ(block.b(5).bits, 0) << bad;
    }
    set(s, {"jour=1", "TIMER_21=42", "simuperiod=2000"});
    EXPECT_TRUE(cur(block.b(5)));
    EXPECT_EQ(cur(block.i(523)), 42);
    EXPECT_EQ(cur(block.f(10)), 2000.0f);
}

TEST(Forced, SetRefusesAForcedVariableAndWritesNothing) {
    testing::FakeBlock block;
    const Session s = block.session();
    force(s, {"nuit=1"});
    EXPECT_EQ(message_of([&] { set(s, {"jour=1", "nuit=0"}); }), "nuit (B6) is forced: change it with force, or unforce it first");
    EXPECT_FALSE(cur(block.b(5)));
    EXPECT_TRUE(cur(block.b(6)));
    force(s, {"nuit=0"});
    EXPECT_FALSE(cur(block.b(6)));
}

TEST(Forced, ListsEveryForcedCellOfEveryAreaByName) {
    testing::FakeBlock block;
    const Session s = block.session();
    force(s, {"vert=1", "TIMER_21=3", "F16=0.5", "C52=65"});
    std::vector<std::string> labels;
    for (const auto& r : forced_variables(s)) labels.push_back(r.label());
    EXPECT_EQ(labels, (std::vector<std::string>{"vert (B7)", "TIMER_21 (I523)", "F16", "C52"}));
    std::ostringstream out;
    unforce(s, {}, true, out);
    EXPECT_TRUE(forced_variables(s).empty());
    EXPECT_THROW(unforce(s, {"vert"}, true, out), Failure);  // names and --all together
}

std::vector<std::int32_t> entries(const IndexList& list) {
    std::vector<std::int32_t> e;
    for_each_listed(list, [&](std::int32_t i) { e.push_back(i); });
    return e;
}

TEST(Lists, TraceListsByTypeAndWatchListOfBools) {
    testing::FakeBlock block;
    const Session s = block.session();
    std::ostringstream out;
    list_add(s, ListKind::Trace, {"jour", "TIMER_21", "F11", "C3"}, out);
    EXPECT_EQ(entries(block.header().traceBool), std::vector<std::int32_t>{5});
    EXPECT_EQ(entries(block.header().traceInt), std::vector<std::int32_t>{523});
    EXPECT_EQ(entries(block.header().traceFloat), std::vector<std::int32_t>{11});
    EXPECT_EQ(entries(block.header().traceChar), std::vector<std::int32_t>{3});
    list_add(s, ListKind::Trace, {"jour"}, out);
    EXPECT_EQ(out.str(), "jour (B5) is already in the trace list\n");
    EXPECT_EQ(entries(block.header().traceBool), std::vector<std::int32_t>{5});

    EXPECT_EQ(message_of([&] { list_add(s, ListKind::Watch, {"vert", "TIMER_21"}, out); }),
              "TIMER_21 (I523) cannot be watched: the watch list holds bool variables only");
    EXPECT_EQ(message_of([&] { list_add(s, ListKind::Watch, {"vert", "traceon"}, out); }),
              "traceon (B0) cannot be listed: index 0 ends a list");
    EXPECT_TRUE(entries(block.header().watchBool).empty());

    list_add(s, ListKind::Watch, {"vert", "rouge", "orange"}, out);
    EXPECT_EQ(message_of([&] { list_remove(s, ListKind::Watch, {"vert", "jour"}); }), "jour (B5) is not in the watch list");
    EXPECT_EQ(entries(block.header().watchBool), (std::vector<std::int32_t>{7, 8, 9}));
    list_remove(s, ListKind::Watch, {"vert"});
    EXPECT_EQ(entries(block.header().watchBool), (std::vector<std::int32_t>{8, 9}));
    std::vector<std::string> names;
    for (const auto& r : listed(s, ListKind::Trace)) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"jour", "TIMER_21", "F11", "C3"}));
    list_clear(s, ListKind::Trace);
    EXPECT_TRUE(listed(s, ListKind::Trace).empty());
    EXPECT_EQ(listed(s, ListKind::Watch).size(), 2u);
}

TEST(Lists, AFullListIsReported) {
    testing::FakeBlock block;
    const Session s = block.session();
    for (int i = 0; i < VX_INDEX_LIST_LENGTH; ++i) block.header().traceInt.entry[i] = 311 + i % 200 + 1;
    std::ostringstream out;
    EXPECT_EQ(message_of([&] { list_add(s, ListKind::Trace, {"TIMER_21"}, out); }),
              "the trace list for TIMER_21 (I523) is full (1000 entries)");
}

TEST(Breakpoints, AddKeepsPairsClearClosesTheGapAndTheLimitIs101) {
    testing::FakeBlock block;
    const Session s = block.session();
    std::ostringstream out;
    breakpoint_add(s, {10, 1}, out);
    breakpoint_add(s, {20, 2}, out);
    breakpoint_add(s, {30, 3}, out);
    breakpoint_add(s, {20, 2}, out);
    EXPECT_EQ(out.str(), "breakpoint 20/2 is already set\n");
    EXPECT_EQ(cur(block.i(312)), 3);
    EXPECT_EQ(cur(block.i(314)), 20);
    EXPECT_EQ(cur(block.i(416)), 2);
    breakpoint_clear(s, Breakpoint{10, 1});
    EXPECT_EQ(breakpoints(s), (std::vector<Breakpoint>{{20, 2}, {30, 3}}));
    EXPECT_THROW(breakpoint_clear(s, Breakpoint{10, 1}), Failure);
    breakpoint_clear(s, std::nullopt);
    EXPECT_TRUE(breakpoints(s).empty());

    for (std::int32_t k = 0; k < 101; ++k) breakpoint_add(s, {k, k}, out);
    EXPECT_EQ(cur(block.i(312)), 101);
    EXPECT_EQ(cur(block.i(413)), 100);  // the last location
    EXPECT_EQ(cur(block.i(515)), 100);  // the last instance
    EXPECT_EQ(message_of([&] { breakpoint_add(s, {500, 1}, out); }), "there are already 101 breakpoints, the most the block holds");

    set_cur(block.i(312), 300);  // junk from elsewhere
    EXPECT_THROW(breakpoint_add(s, {1, 1}, out), Failure);
    EXPECT_EQ(breakpoints(s).size(), 101u);  // shown clamped
}

TEST(Trace, ChangeLinesGetTheVariablesName) {
    testing::FakeBlock block;
    const Session s = block.session();
    EXPECT_EQ(annotate_trace_line(s, "42 B7 0:1"), "42 B7 0:1  vert");
    EXPECT_EQ(annotate_trace_line(s, "42 I523 99:100"), "42 I523 99:100  TIMER_21");
    EXPECT_EQ(annotate_trace_line(s, "42 F12 0.5:1.25"), "42 F12 0.5:1.25");
    EXPECT_EQ(annotate_trace_line(s, "Mon Dec  7 05:25:30 2026"), "Mon Dec  7 05:25:30 2026");
    EXPECT_EQ(annotate_trace_line(s, "50000"), "50000");
}

TEST(Status, ShowsTheControlCellsByName) {
    testing::FakeBlock block;
    const Session s = block.session();
    set_cur(block.i(311), RUN);
    set_prev(block.i(311), STOP);
    set_cur(block.i(530), 77);
    set_cur(block.i(522), 1418381562);
    std::ostringstream out;
    force(s, {"vert=1"});
    std::ostringstream ignored;
    list_add(s, ListKind::Watch, {"jour"}, ignored);
    breakpoint_add(s, {3, 4}, ignored);
    show_status(s, out);
    const std::string text = out.str();
    for (const char* part : {"status       RUN (last reported STOP)\n", "cycle        77\n", "(1418381562)\n",
                             "watch list   jour (B5)\n", "breakpoints  3/4\n", "forced       vert (B7) = 1\n",
                             "process      none (the program has ended)\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

}  // namespace
}  // namespace vx::console
