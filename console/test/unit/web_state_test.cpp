// The web view's state on a block in memory: what a frame holds, what a
// delta carries, and the --listen forms.
#include <gtest/gtest.h>

#include <cmath>

#include "fake_block.hpp"
#include "vx/console/web.hpp"
#include "vx/console/web_state.hpp"

namespace vx::console::testing {
namespace {

TEST(WebFrame, HoldsStatusValuesForcedFlagsAndObjects) {
    FakeBlock block(kPlantSymbols);
    const Session s = block.session();
    set_cur(block.b(6), true);
    set_cur(block.i(523), -7);
    force(s.block(), s.resolve("start"), true);
    set_cur(block.f(33), std::nanf(""));
    block.place(526, 1, 17, {1.5f, -0.5f, 0}, {10, 1, 0.2f});
    block.place(528, 2, 50, {0, 0, 0}, {1, 1, 1});
    const Frame f = read_frame(s);
    EXPECT_EQ(f.at("s.status"), "FREE");
    EXPECT_EQ(f.at("s.period"), 50000.0);
    EXPECT_EQ(f.at("s.held"), nullptr);
    EXPECT_EQ(f.at("v.motor"), 1);
    EXPECT_EQ(f.at("v.c1.CV"), -7);
    EXPECT_EQ(f.at("v.belt.speed"), "nan");  // JSON has no NaN
    EXPECT_EQ(f.at("f.start"), true);
    EXPECT_FALSE(f.count("f.motor"));
    // [status, m0, m1, m3, m4, m5, m7]: the top view's part of the matrix.
    EXPECT_EQ(f.at("o.belt"), Json::parse("[1, 10.0, 0.0, 1.5, 0.0, 1.0, -0.5]"));
    EXPECT_EQ(f.at("o.box1").at(0), 2);

    set_cur(block.i(516), 3);
    set_cur(block.i(517), 12);
    EXPECT_EQ(read_frame(s).at("s.held"), Json::parse("[12, 3]"));
}

TEST(WebFrame, DeltaCarriesChangedAndVanishedKeysOnly) {
    const Frame before{{"a", 1}, {"b", "x"}, {"c", true}};
    const Frame now{{"a", 1}, {"b", "y"}, {"d", 2.5}};
    EXPECT_EQ(frame_delta(before, now), Json::parse(R"({"b": "y", "c": null, "d": 2.5})"));
    EXPECT_TRUE(frame_delta(now, now).empty());
}

struct Listen {
    const char* text;
    const char* host;  // nullptr: refused
    int port;
};

class WebListen : public ::testing::TestWithParam<Listen> {};

TEST_P(WebListen, ParsesOrRefuses) {
    const Listen& l = GetParam();
    if (!l.host) {
        EXPECT_THROW(parse_listen(l.text), Failure) << l.text;
        return;
    }
    const WebOptions o = parse_listen(l.text);
    EXPECT_EQ(o.host, l.host);
    EXPECT_EQ(o.port, l.port);
}

INSTANTIATE_TEST_SUITE_P(Table, WebListen,
                         ::testing::Values(Listen{"127.0.0.1:8080", "127.0.0.1", 8080}, Listen{"0.0.0.0:80", "0.0.0.0", 80},
                                           Listen{"[::1]:9000", "::1", 9000}, Listen{"localhost:0", "localhost", 0},
                                           Listen{"8080", nullptr, 0}, Listen{":8080", nullptr, 0},
                                           Listen{"127.0.0.1:", nullptr, 0}, Listen{"127.0.0.1:65536", nullptr, 0},
                                           Listen{"127.0.0.1:80a", nullptr, 0}, Listen{"127.0.0.1:-1", nullptr, 0},
                                           Listen{"127.0.0.1:99999999999", nullptr, 0}));

struct HostCase {
    const char* listen;
    const char* host;
    bool allowed;
};

class WebHost : public ::testing::TestWithParam<HostCase> {};

TEST_P(WebHost, AcceptsOnlyNamesOfTheListenAddress) {
    const HostCase& c = GetParam();
    EXPECT_EQ(host_allowed(c.listen, 8080, c.host), c.allowed) << c.listen << " / " << c.host;
}

INSTANTIATE_TEST_SUITE_P(Table, WebHost,
                         ::testing::Values(HostCase{"127.0.0.1", "127.0.0.1:8080", true},
                                           HostCase{"127.0.0.1", "localhost:8080", true},
                                           HostCase{"127.0.0.1", "127.0.0.1:8081", false},
                                           HostCase{"127.0.0.1", "127.0.0.1", false},
                                           HostCase{"127.0.0.1", "rebind.example:8080", false},
                                           HostCase{"127.0.0.1", "", false},
                                           HostCase{"127.0.0.1", "127.0.0.2:8080", false},
                                           HostCase{"::1", "[::1]:8080", true},
                                           HostCase{"::1", "::1:8080", false},
                                           HostCase{"192.0.2.7", "192.0.2.7:8080", true},
                                           HostCase{"192.0.2.7", "localhost:8080", false},
                                           HostCase{"0.0.0.0", "192.0.2.7:8080", true},
                                           HostCase{"0.0.0.0", "[2001:db8::1]:8080", true},
                                           HostCase{"0.0.0.0", "plant.example:8080", false},
                                           HostCase{"0.0.0.0", "192.0.2.7.nip.example:8080", false},
                                           HostCase{"::", "0.0.0.0:8080", true}));

}  // namespace
}  // namespace vx::console::testing
