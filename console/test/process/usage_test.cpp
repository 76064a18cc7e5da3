// The tools introduce themselves: usage with no command, --version, and an
// example below the usage of every vxctl command.
#include <filesystem>
#include <regex>
#include <sstream>

#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

struct Introduction {
    const char* tool;  // in the build's bin folder
    std::vector<std::string> args;
    const char* shows;  // a regular expression the standard output must match
};

const Introduction introductions[] = {
    {"vxctl", {}, "Usage: vxctl \\[OPTIONS\\] \\[SUBCOMMAND\\]"},
    {"vxctl", {"help"}, "Usage: vxctl \\[OPTIONS\\] \\[SUBCOMMAND\\]"},
    {"vxctl", {"help", "trace", "add"}, "Usage: vxctl trace add [^]*Example:\n  vxctl trace add "},
    {"vxctl", {"sim", "--help"}, "Usage: .*vxctl sim [^]*Example:\n  vxctl sim "},
    {"vxgen", {}, "Usage: .*vxgen [^]*Example:\n  vxgen "},
    {"vxctl", {"--version"}, "^vxctl [0-9]+\\.[0-9]+\\.[0-9]+ \\(commit [0-9a-z-]+\\)\n$"},
    {"vxgen", {"--version"}, "^vxgen [0-9]+\\.[0-9]+\\.[0-9]+ \\(commit [0-9a-z-]+\\)\n$"},
    {"tarvo", {"--version"}, "^tarvo [0-9]+\\.[0-9]+\\.[0-9]+ \\(commit [0-9a-z-]+\\)\n$"},
    {"conveyor", {"--version"}, "^conveyor [0-9]+\\.[0-9]+\\.[0-9]+ \\(commit [0-9a-z-]+\\)\n$"},
};

class Introduces : public ::testing::TestWithParam<Introduction> {};

TEST_P(Introduces, ItselfOnStandardOutput) {
    const Introduction& c = GetParam();
    const std::string path = std::string(PROGRAM_DIR) + "/" + c.tool;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << c.tool << " is not built";
    const Outcome run = run_tool(path, c.args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_search(run.out, std::regex(c.shows))) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Tools, Introduces, ::testing::ValuesIn(introductions));

// The names listed under "Subcommands:" in a usage text.
std::vector<std::string> subcommands(const std::string& usage) {
    std::vector<std::string> names;
    std::istringstream in(usage.substr(std::min(usage.size(), usage.find("Subcommands:"))));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line) && line.starts_with("  ")) {
        const auto start = line.find_first_not_of(' ');
        names.push_back(line.substr(start, line.find(' ', start) - start));
    }
    return names;
}

// Walks the commands as a user would through `vxctl help`, so that a command
// added without an example is caught.
TEST(Usage, EveryCommandHasAnExample) {
    std::vector<std::vector<std::string>> pending{{}};
    int seen = 0;
    while (!pending.empty()) {
        const std::vector<std::string> path = pending.back();
        pending.pop_back();
        std::vector<std::string> args{"help"};
        args.insert(args.end(), path.begin(), path.end());
        const Outcome run = vxctl(args);
        ASSERT_EQ(run.status, 0) << run.err;
        if (!path.empty()) {
            ++seen;
            EXPECT_TRUE(contains(run.out, "Example:\n  vxctl ")) << "vxctl help " << ::testing::PrintToString(path);
        }
        for (const std::string& name : subcommands(run.out)) {
            std::vector<std::string> sub = path;
            sub.push_back(name);
            pending.push_back(sub);
        }
    }
    EXPECT_GT(seen, 30);
}

TEST(Usage, HelpForAnUnknownCommandIsRefused) {
    const Outcome run = vxctl({"help", "frobnicate"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "no command 'frobnicate'")) << run.err;
}

}  // namespace
}  // namespace vx::console::testing
