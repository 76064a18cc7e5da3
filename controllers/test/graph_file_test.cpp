// The graph file beside each of the programs, as this build wrote it,
// against the program's description read line by line here: the components,
// every step with its initial mark and actions, every transition with its
// steps and its receptivity as written, in the description's order.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

using Json = nlohmann::json;

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string trimmed(std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t\r") + 1);
    return s;
}

int step_number(std::string word) {
    if (word.starts_with("X_")) word.erase(0, 2);
    return std::stoi(word);
}

// What the description says, in the graph file's own shape.
Json expected_graph(const std::string& description) {
    Json g{{"components", Json::array()}, {"steps", Json::array()}, {"transitions", Json::array()}};
    std::istringstream in(description);
    std::string line;
    int component = -1;
    while (std::getline(in, line)) {
        line = trimmed(line.substr(0, line.find('#')));
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "graph") {
            std::string name;
            words >> name;
            g["program"] = name;
        } else if (keyword == "component") {
            std::string name;
            words >> name;
            g["components"].push_back(name);
            ++component;
        } else if (keyword == "step") {
            std::string number, word;
            words >> number;
            Json step{{"number", step_number(number)}, {"component", component}, {"initial", false}, {"actions", Json::array()}};
            bool actions = false;
            while (words >> word) {
                if (word == "initial") step["initial"] = true;
                else if (word == "action") actions = true;
                else if (actions) step["actions"].push_back(word);
            }
            step["variable"] = "X_" + std::to_string(step["number"].get<int>());
            g["steps"].push_back(step);
        } else if (keyword == "transition") {
            std::string from, arrow, to;
            words >> from >> arrow >> to;
            g["transitions"].push_back({{"component", component}, {"from", step_number(from)}, {"to", step_number(to)},
                                        {"receptivity", trimmed(line.substr(line.find(" when ") + 6))}});
        }
    }
    return g;
}

class GraphFile : public ::testing::TestWithParam<const char*> {};

TEST_P(GraphFile, MatchesTheDescription) {
    const std::string program = GetParam();
    const std::string text = read(std::string(VX_BIN_DIR) + "/" + program + ".graph.json");
    const Json written = Json::parse(text, nullptr, false);
    ASSERT_FALSE(written.is_discarded()) << program << ".graph.json is not JSON:\n" << text;
    const Json expected = expected_graph(read(std::string(VX_SOURCE_DIR) + "/controllers/" + program + "/" + program + ".grafcet"));
    ASSERT_GT(expected["steps"].size(), 2u);
    EXPECT_EQ(written["program"], program);
    EXPECT_EQ(written["components"], expected["components"]);
    ASSERT_EQ(written["steps"].size(), expected["steps"].size());
    for (std::size_t i = 0; i < expected["steps"].size(); ++i) EXPECT_EQ(written["steps"][i], expected["steps"][i]) << i;
    ASSERT_EQ(written["transitions"].size(), expected["transitions"].size());
    for (std::size_t i = 0; i < expected["transitions"].size(); ++i)
        EXPECT_EQ(written["transitions"][i], expected["transitions"][i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Programs, GraphFile,
                         ::testing::Values("tarvo", "melki", "melki_bis", "sorel", "sorel_bis", "conveyor", "pickplace"),
                         [](const auto& program) { return std::string(program.param); });

}  // namespace
