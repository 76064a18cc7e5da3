// The vxgen tool as the build runs it: files written on success, errors on
// standard error and nothing written on failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class Vxgen : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vxgen-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name) << text;
        return dir_ / name;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs vxgen with `arguments`; its exit status.
    int run(const std::string& arguments) const {
        const std::string command = std::string(VX_VXGEN) + " " + arguments + " 2>" + (dir_ / "stderr").string();
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string err() const { return read(dir_ / "stderr"); }
    std::vector<std::string> files_in(const fs::path& dir) const {
        std::vector<std::string> out;
        if (!fs::exists(dir)) return out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path dir_;
};

constexpr const char* kSound = "graph g\nunit u\ninput a\ncomponent c\nstep 1 initial\nstep 2\n"
                               "transition 1 -> 2 when a\n";

TEST_F(Vxgen, WritesTheModulesAndTheSymbolFile) {
    const fs::path description = write("g.grafcet", kSound);
    ASSERT_EQ(run(description.string() + " --out " + (dir_ / "out").string() + " --symbols " +
                  (dir_ / "bin" / "g.vars").string() + " --graph g"),
              0)
        << err();
    EXPECT_EQ(files_in(dir_ / "out"), (std::vector<std::string>{"g.c", "g.h", "g_init.c", "g_sign.c"}));
    EXPECT_EQ(read(dir_ / "bin" / "g.vars").substr(0, 36), "# Symbols of controller g (unit u, g");
    EXPECT_EQ(err(), "");
}

TEST_F(Vxgen, WritesNothingForADescriptionWithErrors) {
    const fs::path description = write("g.grafcet", std::string(kSound) + "transition 2 -> 9 when b\n");
    EXPECT_EQ(run(description.string() + " --out " + (dir_ / "out").string()), 1);
    EXPECT_EQ(err(), description.string() + ":8: error: unknown downstream step 9 in transition 2 -> 9\n" +
                         description.string() + ":8: error: unknown variable 'b' in the receptivity of transition "
                                                 "2 -> 9\nvxgen: 2 errors; nothing written\n");
    EXPECT_TRUE(files_in(dir_ / "out").empty());
}

TEST_F(Vxgen, KeepsThePreviousFilesWhenTheDescriptionTurnsBad) {
    const fs::path description = write("g.grafcet", kSound);
    ASSERT_EQ(run(description.string() + " --out " + dir_.string()), 0) << err();
    const std::string before = read(dir_ / "g.c");
    write("g.grafcet", std::string(kSound) + "step 1\n");
    EXPECT_EQ(run(description.string() + " --out " + dir_.string()), 1);
    EXPECT_EQ(read(dir_ / "g.c"), before);
}

TEST_F(Vxgen, RefusesADescriptionOfAnotherProgram) {
    const fs::path description = write("g.grafcet", kSound);
    EXPECT_EQ(run(description.string() + " --out " + (dir_ / "out").string() + " --graph tarvo"), 1);
    EXPECT_EQ(err(), description.string() + ":1: error: the graph is named 'g' but this program is 'tarvo'\n"
                                            "vxgen: 1 error; nothing written\n");
}

TEST_F(Vxgen, ReportsAnUnreadableDescription) {
    EXPECT_EQ(run((dir_ / "missing.grafcet").string() + " --out " + dir_.string()), 1);
    EXPECT_EQ(err(), "vxgen: cannot read " + (dir_ / "missing.grafcet").string() + ": No such file or directory\n");
}

}  // namespace
