// Every command against each of the five traffic-light programs, found with
// their symbol files beside them, and the simulator's timeline of tarvo.
#include <filesystem>

#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

struct Light {
    const char* program;
    const char* green;  // lit by the first day cycle
    const char* step;   // active after it
};

class FivePrograms : public ::testing::TestWithParam<Light> {};

TEST_P(FivePrograms, EveryCommandWorks) {
    const Light& p = GetParam();
    const std::string path = program_path(p.program);
    if (path.empty()) GTEST_SKIP() << p.program << " is not built";
    Controller c(path);
    const std::string green = p.green;
    const std::string scenario = std::string(SCENARIO_DIR) + "/" + p.program + ".scn";
    auto ok = [&](std::vector<std::string> args) {
        const Outcome r = c.run(args);
        EXPECT_EQ(r.status, 0) << args.front() << ": " << r.err;
        return r.out;
    };

    EXPECT_TRUE(contains(ok({"status"}), std::string("program      ") + p.program + ", task name"));
    EXPECT_TRUE(contains(ok({"vars"}), "jour (B5) input = 0\n"));
    ok({"set", "jour=1"});
    EXPECT_EQ(ok({"step"}), "cycle 1, status STOP\n");
    EXPECT_TRUE(contains(ok({"get", green, p.step}), green + " (B"));
    EXPECT_TRUE(contains(ok({"get", p.step}), ") = 1\n"));
    const std::string frame = ok({"monitor", "--once"});
    EXPECT_TRUE(contains(frame, "inputs   jour=1  nuit=0")) << frame;
    EXPECT_TRUE(contains(frame, "G]")) << frame;
    EXPECT_TRUE(contains(frame, std::string(p.step) + " (0.00 s)")) << frame;

    ok({"force", green + "=0"});
    ok({"step", "2"});
    EXPECT_TRUE(contains(ok({"get", green}), " = 0 (forced)\n"));
    EXPECT_TRUE(contains(ok({"forced"}), green + " (B"));
    ok({"unforce", green});
    ok({"step"});
    EXPECT_TRUE(contains(ok({"get", green}), " = 1\n"));

    ok({"trace", "add", "jour", "nuit", green});
    ok({"trace", "on"});
    ok({"set", "nuit=1"});
    ok({"step", "2"});
    ok({"trace", "off"});
    EXPECT_TRUE(contains(ok({"trace", "show"}), " B6 0:1  nuit\n"));
    ok({"trace", "remove", "nuit"});
    const std::string got = ok({"get", green});
    EXPECT_EQ(ok({"trace", "list"}), "jour (B5)\n" + got.substr(0, got.find(" = ")) + "\n");

    ok({"watch", "add", "jour"});
    EXPECT_EQ(ok({"watch", "list"}), "jour (B5)\n");
    ok({"watch", "clear"});
    ok({"break", "add", "1", "2"});
    EXPECT_EQ(ok({"break", "list"}), "location 1, instance 2\n");
    ok({"break", "clear"});

    EXPECT_TRUE(contains(ok({"sim", "--check", scenario}), std::string(": fits program ") + p.program));
    EXPECT_TRUE(contains(ok({"sim", "--for", "0.2", scenario}), "end after 100 cycles; every invariant held"));

    ok({"run"});
    ASSERT_TRUE(eventually([&] { return c.program().counter() > 110; }));
    ok({"stop"});
    ok({"end"});
    c.program().detach();
    EXPECT_EQ(c.program().wait_exit(), 0);
    EXPECT_FALSE(c.block_exists());
}

INSTANTIATE_TEST_SUITE_P(Lights, FivePrograms,
                         ::testing::Values(Light{"tarvo", "vert", "X_21"}, Light{"melki", "vertA", "X_21"},
                                           Light{"melki_bis", "vertA", "X_11"}, Light{"sorel", "vertA", "X_11"},
                                           Light{"sorel_bis", "vertA", "X_11"}),
                         [](const auto& test) { return std::string(test.param.program); });

// tarvo's timelines, played fast: the program runs in lockstep mode.
struct Tarvo : ::testing::Test {
    void SetUp() override {
        if (program_path("tarvo").empty()) GTEST_SKIP() << "tarvo is not built";
        controller = std::make_unique<Controller>(program_path("tarvo"), std::string(), 2000.0f,
                                                  std::map<std::string, std::string>{{"VX_SCHEDULE", "lockstep"}});
    }
    // The report, without its last line: the plant-time and wall-time figures.
    Outcome play(const std::string& scenario, std::vector<std::string> extra = {}) {
        write_file(dir.file("tarvo.scn"), scenario);
        std::vector<std::string> args{"sim", "--fast", dir.file("tarvo.scn")};
        args.insert(args.end(), extra.begin(), extra.end());
        Outcome r = controller->run(args);
        const auto figures = r.out.rfind("plant time ");
        EXPECT_NE(figures, std::string::npos) << r.out;
        if (figures != std::string::npos) r.out.resize(figures);
        return r;
    }
    std::string heading(const std::string& period) const {
        return "scenario " + dir.file("tarvo.scn") + ": program tarvo on block " + controller->program().block_name() +
               ", period " + period + " us, seed 1\n     time    cycle  changes\n";
    }
    TempDir dir;
    std::unique_ptr<Controller> controller;
};

// The night blink at a period of 10 ms: step 24 lights orange for 1 s (its
// timer reaches 100 passes at the start of pass 101), step 25 keeps it dark
// for 1 s, then one pass in step 20.
TEST_F(Tarvo, TimelineOfTheNightBlinkWithTheLights) {
    const Outcome r = play("program tarvo\nperiod 10 ms\nat 0 s nuit=1\ninvariant not (vert & orange)\nend 2.1 s\n",
                           {"--lights"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, heading("10000") +
                         "    0.000 s        -  vehicle [. . .]  pedestrian [. .]   start vert=0 rouge=0 orange=0 "
                         "vert_pieton=0 rouge_pieton=0\n"
                         "    0.000 s        0  set nuit=1\n"
                         "    0.000 s        0  vehicle [. O .]  pedestrian [. .]   orange=1\n"
                         "    1.010 s      101  vehicle [. . .]  pedestrian [. .]   orange=0\n"
                         "    2.030 s      203  vehicle [. O .]  pedestrian [. .]   orange=1\n"
                         "    2.100 s      210  end after 210 cycles; every invariant held\n");
}

TEST_F(Tarvo, AViolatedInvariantIsReportedWithItsCycle) {
    const Outcome r = play("period 10 ms\nat 0 s jour=1\nat 30 ms nuit=1\ninvariant not vert\ninvariant not X_24\nend 50 ms\n");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, heading("10000") +
                         "    0.000 s        -  start vert=0 rouge=0 orange=0 vert_pieton=0 rouge_pieton=0\n"
                         "    0.000 s        0  set jour=1\n"
                         "    0.000 s        0  vert=1 rouge_pieton=1\n"
                         "    0.000 s        0  ! invariant violated: not vert\n"
                         "    0.030 s        3  set nuit=1\n"
                         "    0.050 s        5  end after 5 cycles; invariant 'not vert' violated in 5 cycles, first "
                         "in cycle 0\n");
}

}  // namespace
}  // namespace vx::console::testing
