// The monitor's frame and the lights, on a block in memory.
#include <gtest/gtest.h>

#include "fake_block.hpp"
#include "vx/console/commands.hpp"
#include "vx/console/lights.hpp"
#include "vx/console/monitor.hpp"

namespace vx::console {
namespace {

TEST(Frame, ShowsInputsOutputsActiveStepsWithTimersForcedMarksAndLights) {
    testing::FakeBlock block;
    const Session s = block.session();
    set(s, {"jour=1", "X_21=1", "TIMER_21=30", "vert=1", "posmxsimucounter=12", "execstatus=2"});
    force(s, {"rouge_pieton=1"});
    const std::string frame = render_frame(s, {false, false});
    EXPECT_EQ(frame,
              "light on block fake, process 0 (not running)\n"
              "status RUN  cycle 12  period 50000 us (mean 0, min 0, max 0)\n"
              "changes per cycle: mean 0.00, min 0, max 0  trace off  forced 1\n"
              "inputs   jour=1  nuit=0\n"
              "outputs  vert=1  rouge=0  orange=0  vert_pieton=0  rouge_pieton=1*\n"
              "steps    X_21 (1.50 s)\n"
              "lights   vehicle [. . G]  pedestrian [R .]\n"
              "(* forced)\n");
    const std::string interactive = render_frame(s, {false, true});
    EXPECT_NE(interactive.find("inputs   1:jour=1  2:nuit=0\n"), std::string::npos) << interactive;
    EXPECT_NE(interactive.find("keys: r run"), std::string::npos);
}

TEST(Lights, ColourDrawsLitLampsInTheirColourAndNothingForUnknownPrograms) {
    testing::FakeBlock block;
    const Session s = block.session();
    set(s, {"orange=1"});
    EXPECT_EQ(draw_lights(s, true).substr(0, 13), "vehicle [\x1b[2m");
    EXPECT_NE(draw_lights(s, true).find("\x1b[1;33m\u25CF"), std::string::npos);
    EXPECT_EQ(draw_lights(s, false), "vehicle [. O .]  pedestrian [. .]");

    const Session unnamed(block.view(), std::nullopt);
    EXPECT_EQ(draw_lights(unnamed, false), "");
    EXPECT_NE(render_frame(unnamed, {}).find("(no symbol file"), std::string::npos);
}

// Any program gets the lights its view file names; a head whose lamps the
// symbol file does not all name as bool variables is left out.
TEST(Lights, DrawsTheHeadsOfTheSessionsView) {
    testing::FakeBlock block;
    Session s = block.session();
    s.set_lights(parse_lights_view("# two heads\n\n  gate : vert blue , rouge white\nghost: nowhere red\n"
                                   "steps: X_21 yellow\n",
                                   "mine.view"));
    set(s, {"vert=1", "X_21=1"});
    EXPECT_EQ(draw_lights(s, false), "gate [B .]  steps [Y]");
    s.set_lights({});
    EXPECT_EQ(draw_lights(s, false), "");
}

TEST(Lights, ViewFileLinesThatAreNotHeadsAreRefusedWithTheirLine) {
    for (const char* bad : {"vehicle rouge red", ": rouge red", "vehicle: rouge", "vehicle: rouge purple",
                            "vehicle: rouge red,", "vehicle:"}) {
        try {
            parse_lights_view(std::string("# ok\n") + bad + "\n", "x.view");
            ADD_FAILURE() << bad;
        } catch (const Failure& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, 25), "x.view:2: not a light hea") << bad;
        }
    }
}

TEST(Lights, ViewFileLiesBesideTheSymbolFile) {
    EXPECT_EQ(view_file_for("/opt/bin/tarvo.vars"), "/opt/bin/tarvo.view");
    EXPECT_EQ(view_file_for("symbols"), "symbols.view");
    EXPECT_FALSE(load_lights_view("/nonexistent/tarvo.view").has_value());
}

}  // namespace
}  // namespace vx::console
