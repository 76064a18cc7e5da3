// The generated modules and symbol files of the seven controllers, as this
// build made them, against the committed expected files. A change to the
// generator that alters them shows here; when the change is meant,
// scripts/regenerate-golden.sh updates the expected files.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<cannot read " + path + ">";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The first line where two texts differ, for a readable failure.
std::string first_difference(const std::string& expected, const std::string& actual) {
    std::istringstream e(expected), a(actual);
    std::string le, la;
    for (int line = 1;; ++line) {
        const bool more_e = static_cast<bool>(std::getline(e, le));
        const bool more_a = static_cast<bool>(std::getline(a, la));
        if (!more_e && !more_a) return "same lines, other bytes";
        if (le != la || more_e != more_a)
            return "line " + std::to_string(line) + ":\n  expected: " + (more_e ? le : "<end>") +
                   "\n  generated: " + (more_a ? la : "<end>");
    }
}

struct Golden {
    std::string program;
    std::string file;
};

class GoldenFile : public ::testing::TestWithParam<Golden> {};

TEST_P(GoldenFile, MatchesTheGeneratedFile) {
    const auto& [program, file] = GetParam();
    const bool symbols = file.ends_with(".vars");
    const std::string generated =
        symbols ? std::string(VX_BIN_DIR) + "/" + file : std::string(VX_GENERATED_DIR) + "/" + program + "/" + file;
    const std::string expected = read(std::string(VX_GOLDEN_DIR) + "/" + program + "/" + file);
    const std::string actual = read(generated);
    EXPECT_TRUE(expected == actual) << generated << " differs from the expected file, "
                                    << first_difference(expected, actual)
                                    << "\n(scripts/regenerate-golden.sh updates the expected files)";
}

std::vector<Golden> all_files() {
    std::vector<Golden> out;
    for (const std::string program : {"tarvo", "melki", "melki_bis", "sorel", "sorel_bis", "conveyor", "pickplace"})
        for (const std::string suffix : {".h", ".c", "_init.c", "_sign.c", ".vars"}) out.push_back({program, program + suffix});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Controllers, GoldenFile, ::testing::ValuesIn(all_files()), [](const auto& p) {
    std::string name = p.param.file;
    for (char& c : name)
        if (c == '.') c = '_';
    return name;
});

}  // namespace
