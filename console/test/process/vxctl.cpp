#include "vxctl.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

extern char** environ;

namespace vx::console::testing {

Outcome vxctl(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    return run_tool(VXCTL, args, env);
}

Outcome run_tool(const std::string& executable, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env) {
    TempDir dir;
    std::vector<std::string> arg_strings{executable};
    arg_strings.insert(arg_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : arg_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (!env.count(entry.substr(0, entry.find('='))) && !entry.starts_with("VX_MEMORY_NAME=")) env_strings.push_back(entry);
    }
    for (const auto& [key, value] : env) env_strings.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome run;
    if (rc != 0) return run;
    int status = 0;
    if (!eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 60s)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = read_file(dir.file("out"));
    run.err = read_file(dir.file("err"));
    return run;
}

std::string program_path(const std::string& name) {
    const std::string path = std::string(PROGRAM_DIR) + "/" + name;
    return std::filesystem::exists(path) && std::filesystem::exists(path + ".vars") ? path : std::string();
}

Controller::Controller(const std::string& executable, std::string symbols, float period,
                       std::map<std::string, std::string> env)
    : symbols_(std::move(symbols)) {
    ProgramOptions options;
    options.executable = executable;
    options.env = std::move(env);
    program_ = std::make_unique<Program>(options);
    program_->start();
    EXPECT_TRUE(program_->attach()) << program_->out() << program_->err();
    program_->set_period(period);
}

Controller::~Controller() {
    if (program_->running()) {
        program_->set_status(END);
        program_->wait_exit();
    }
}

Outcome Controller::run(std::vector<std::string> args) const {
    std::vector<std::string> all{"--block", program_->block_name()};
    if (!symbols_.empty()) {
        all.push_back("--symbols");
        all.push_back(symbols_);
    }
    all.insert(all.end(), args.begin(), args.end());
    return vxctl(all);
}

bool Controller::block_exists() const { return std::filesystem::exists("/dev/shm/" + program_->block_name()); }

}  // namespace vx::console::testing
