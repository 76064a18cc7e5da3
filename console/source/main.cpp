// vxctl: the simulator and debugger side of a controller program's block.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>

#include "vx/console/commands.hpp"
#include "vx/console/launcher.hpp"
#include "vx/console/modbus_server.hpp"
#include "vx/console/monitor.hpp"
#include "vx/console/plant.hpp"
#include "vx/console/simulator.hpp"
#include "vx/console/waveform.hpp"
#include "vx/console/web.hpp"
#include "vx/platform/system.hpp"
#include "vx_version.h"

namespace {

using namespace vx::console;
using Action = std::function<int(const Session&)>;
// A command that starts its own program instead of attaching to one.
using Launch = std::function<int(const AttachOptions&)>;

bool colour_wanted(const std::string& choice) {
    if (choice == "always") return true;
    if (choice == "never") return false;
    const auto term = vx::platform::environment("TERM");
    return ::isatty(STDOUT_FILENO) && !vx::platform::environment("NO_COLOR") && term && *term != "dumb";
}

CLI::Option* colour_option(CLI::App* app, std::string& choice) {
    return app->add_option("--color", choice, "Colour: auto, always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
}

int show_help(CLI::App& app, const std::vector<std::string>& path);

// Each command sets the action to run once the block is attached.
struct Commands {
    Action action;
    std::function<int()> local_action;  // a command that needs no block (help)
    std::vector<std::string> words;
    std::vector<std::int32_t> numbers;
    std::int64_t count = 1;
    bool flag = false;
    std::optional<std::string> file;
    std::string colour = "auto";
    int interval_ms = 250;
    std::optional<int> width;
    std::optional<std::uint64_t> seed;
    std::optional<double> duration;
    bool lights = false;
    // A command that follows the block itself (through program ends and
    // restarts) rather than taking the session attached at start: it
    // outlives the program it serves.
    std::function<int(const AttachOptions&)> standalone;
    std::string web_listen = "127.0.0.1:8080";
    modbus::ServerOptions modbus_options;
    std::optional<std::string> listen;
    std::string word_order = "high-first";

    void add_modbus_command(CLI::App& app) {
        auto* m = app.add_subcommand("modbus", "Serve the program's variables over Modbus TCP (default 127.0.0.1:1502)");
        auto& o = modbus_options;
        m->add_option("--listen", listen, "ADDR:PORT to listen on (numeric IPv4; default 127.0.0.1:1502)");
        m->add_option("--map", o.map_file, "Address map in CSV (the columns of --print-map) instead of the default map");
        m->add_flag("--print-map", flag, "Print the address map as CSV and exit");
        m->add_flag("--write-outputs", o.rules.write_outputs, "Let clients write outputs too (copies from coil and holding register 1000)");
        m->add_flag("--control", o.rules.control, "Add holding register 0: write 1 STOP, 2 RUN, 3 STEP, 4 END");
        m->add_flag("--read-only", o.read_only, "Refuse every write");
        m->add_option("--word-order", word_order, "Order of the words of 32- and 64-bit values")
            ->check(CLI::IsMember({"high-first", "low-first"}))
            ->capture_default_str();
        m->add_option("--max-clients", o.max_clients, "Clients served at once; the next is refused")
            ->check(CLI::Range(1, 1000))
            ->capture_default_str();
        m->add_option("--idle-timeout", o.idle_seconds, "Seconds without a request after which a client is closed (0: never)")
            ->check(CLI::Range(0, 86400))
            ->capture_default_str();
        m->callback([this] {
            standalone = [this](const AttachOptions& attach) {
                if (listen) modbus::parse_listen(*listen, modbus_options);
                modbus_options.low_word_first = word_order == "low-first";
                if (flag) {
                    modbus::print_map(attach, modbus_options, std::cout);
                    return 0;
                }
                return modbus::serve(attach, modbus_options, std::cout, std::cerr);
            };
        });
    }

    Launch launch;
    bool fast = false;
    std::optional<std::string> program;
    double cycle_limit = 5.0;
    std::optional<std::string> record;
    bool force_replay = false;
    std::optional<std::string> vcd;
    std::optional<std::string> csv;

    // The recording is opened before anything runs or is started.
    std::optional<Recorder> open_recording() const {
        if (!record) return std::nullopt;
        return Recorder::open(*record);
    }

    void on(CLI::App* app, Action a) {
        app->callback([this, a = std::move(a)] { action = a; });
    }

    void add_status_commands(CLI::App& app) {
        on(app.add_subcommand("status", "Show the program's status, statistics, lists, breakpoints and forced variables"),
           [](const Session& s) { show_status(s, std::cout); return 0; });
        struct Exec {
            const char* name;
            std::int32_t status;
            const char* help;
        };
        for (const Exec& e : {Exec{"run", RUN, "Let the program run freely"},
                              Exec{"stop", STOP, "Stop the program at the end of its cycle"},
                              Exec{"pause", PAUSE, "Run one cycle, holding at every breakpoint check"},
                              Exec{"free", FREE, "Let the program run freely (status FREE)"},
                              Exec{"end", END, "End the program and wait until it has ended"}}) {
            const std::int32_t status = e.status;
            on(app.add_subcommand(e.name, e.help), [status](const Session& s) { command_status(s, status, std::cout); return 0; });
        }
        auto* step_cmd = app.add_subcommand("step", "Run N cycles (default 1), one at a time, waiting for each");
        step_cmd->add_option("N", count, "Number of cycles")->check(CLI::Range(std::int64_t{1}, std::int64_t{INT32_MAX}));
        on(step_cmd, [this](const Session& s) { step(s, count, std::cout); return 0; });
    }

    void add_value_commands(CLI::App& app) {
        auto* get_cmd = app.add_subcommand("get", "Print variables (names or B5, I523, F10, C3)");
        get_cmd->add_option("VARIABLE", words)->required();
        on(get_cmd, [this](const Session& s) { get(s, words, std::cout); return 0; });

        auto* set_cmd = app.add_subcommand("set", "Write the current value of variables: name=value ...");
        set_cmd->add_option("ASSIGNMENT", words)->required();
        on(set_cmd, [this](const Session& s) { set(s, words); return 0; });

        auto* force_cmd = app.add_subcommand("force", "Force variables to values: name=value ...");
        force_cmd->add_option("ASSIGNMENT", words)->required();
        on(force_cmd, [this](const Session& s) { force(s, words); return 0; });

        auto* unforce_cmd = app.add_subcommand("unforce", "Release forced variables");
        unforce_cmd->add_option("VARIABLE", words);
        unforce_cmd->add_flag("--all", flag, "Release every forced variable");
        on(unforce_cmd, [this](const Session& s) { unforce(s, words, flag, std::cout); return 0; });

        on(app.add_subcommand("forced", "List the forced variables"), [](const Session& s) { list_forced(s, std::cout); return 0; });
        on(app.add_subcommand("vars", "List the program's variables with their cells, roles and values"),
           [](const Session& s) { list_variables(s, std::cout); return 0; });
        on(app.add_subcommand("objects", "List the plant's actors and product slots: status, position, size, variables"),
           [](const Session& s) { list_objects(s, std::cout); return 0; });
    }

    void add_list_commands(CLI::App& app, const char* name, ListKind kind, const char* help) {
        auto* list = app.add_subcommand(name, help);
        list->require_subcommand(1);
        auto* add = list->add_subcommand("add", "Add variables to the list");
        add->add_option("VARIABLE", words)->required();
        on(add, [this, kind](const Session& s) { list_add(s, kind, words, std::cout); return 0; });
        auto* remove = list->add_subcommand("remove", "Remove variables from the list");
        remove->add_option("VARIABLE", words)->required();
        on(remove, [this, kind](const Session& s) { list_remove(s, kind, words); return 0; });
        on(list->add_subcommand("clear", "Empty the list"), [kind](const Session& s) { list_clear(s, kind); return 0; });
        on(list->add_subcommand("list", "Show the list"), [kind](const Session& s) { list_show(s, kind, std::cout); return 0; });
        if (kind != ListKind::Trace) return;
        on(list->add_subcommand("on", "Switch the trace on"), [](const Session& s) { trace_switch(s, true); return 0; });
        on(list->add_subcommand("off", "Switch the trace off"), [](const Session& s) { trace_switch(s, false); return 0; });
        on(list->add_subcommand("restart", "Restart the trace file at the next traced cycle"),
           [](const Session& s) { trace_restart(s); return 0; });
        auto* show = list->add_subcommand("show", "Print the trace file with the variables' names");
        show->add_option("--file", file, "The trace file (default: beside the running program)");
        on(show, [this](const Session& s) { trace_show(s, file, std::cout); return 0; });
        add_trace_export(list);
    }

    void add_breakpoint_commands(CLI::App& app) {
        auto* bp = app.add_subcommand("break", "Breakpoints: pairs of location and instance (at most 101)");
        bp->require_subcommand(1);
        auto* add = bp->add_subcommand("add", "Add a breakpoint");
        add->add_option("LOCATION INSTANCE", numbers)->expected(2)->required();
        on(add, [this](const Session& s) { breakpoint_add(s, {numbers[0], numbers[1]}, std::cout); return 0; });
        auto* clear = bp->add_subcommand("clear", "Remove one breakpoint, or all without arguments");
        clear->add_option("LOCATION INSTANCE", numbers)->expected(2);
        on(clear, [this](const Session& s) {
            breakpoint_clear(s, numbers.empty() ? std::nullopt : std::optional<Breakpoint>({numbers[0], numbers[1]}));
            return 0;
        });
        on(bp->add_subcommand("list", "List the breakpoints"), [](const Session& s) { breakpoint_list(s, std::cout); return 0; });
    }

    void add_web(CLI::App& app) {
        auto* web = app.add_subcommand("web", "Serve a live view of the program in the browser (chart, plant, variables, trends, controls)");
        web->add_option("--listen", web_listen, "ADDRESS:PORT to listen on")->capture_default_str();
        web->add_flag("--read-only", flag, "Serve no request that writes to the block");
        web->callback([this] {
            standalone = [this](const AttachOptions& attach) {
                WebOptions options = parse_listen(web_listen);
                options.read_only = flag;
                return run_web(attach, options, std::cout);
            };
        });
    }

    void add_monitor_and_sim(CLI::App& app) {
        auto* monitor = app.add_subcommand("monitor", "Live view of the program (keys: r run, s stop, n step, 1-9 toggle input, q quit)");
        monitor->add_flag("--once", flag, "Print one frame and exit");
        monitor->add_option("--interval", interval_ms, "Refresh interval in milliseconds")
            ->check(CLI::Range(10, 10000))
            ->capture_default_str();
        monitor->add_option("--width", width, "Columns of the frame printed by --once (default: the terminal's, or 80)")
            ->check(CLI::Range(20, 1000));
        colour_option(monitor, colour);
        monitor->add_option("--record", record, "Record the inputs toggled, cycle by cycle, as a scenario in FILE");
        on(monitor, [this](const Session& s) {
            if (flag) {
                std::cout << render_frame(s, {colour == "always", false, width.value_or(terminal_width())});
            } else {
                auto recorder = open_recording();
                run_monitor(s, std::chrono::milliseconds(interval_ms), colour_wanted(colour), recorder ? &*recorder : nullptr);
            }
            return 0;
        });

        auto* sim = app.add_subcommand("sim", "Play a scenario file against the program");
        sim->add_option("SCENARIO", words, "The scenario file")->required()->expected(1);
        sim->add_option("--seed", seed, "Seed of the random arrivals (overrides the scenario's)");
        sim->add_option("--for", duration, "Seconds to play (overrides the scenario's end)")->check(CLI::PositiveNumber);
        sim->add_flag("--lights", lights, "Draw the traffic lights as they change");
        sim->add_flag("--check", flag, "Check the scenario against the program and play nothing");
        colour_option(sim, colour);
        auto* fast_flag = sim->add_flag("--fast", fast, "Play on plant time as fast as the program cycles (lockstep)");
        sim->add_option("--program", program,
                        "Start this program on a private block in lockstep mode, play, then end it")
            ->needs(fast_flag);
        sim->add_option("--vcd", vcd, "Write the run as a Value Change Dump FILE: inputs and shown variables");
        sim->add_option("--record", record, "Record what is applied to the inputs, cycle by cycle, as a scenario in FILE");
        sim->add_flag("--force", force_replay, "Replay a recording made with another program or another build of it");
        sim->add_option("--cycle-limit", cycle_limit, "Seconds a granted cycle may take with --fast")
            ->check(CLI::PositiveNumber)
            ->capture_default_str();
        sim->callback([this] {
            action = [this](const Session& s) { return play(s, {}); };
            if (program) launch = [this](const AttachOptions& a) { return launch_and_play(a); };
        });
    }

    void add_help_command(CLI::App& app) {
        auto* help = app.add_subcommand("help", "Show the usage of vxctl or of one command, with an example");
        help->add_option("COMMAND", words, "The command (and its sub-command: trace add)");
        help->callback([this, &app] { local_action = [this, &app] { return show_help(app, words); }; });
    }

    // trace export: with --file and --symbols it needs no running program.
    void add_trace_export(CLI::App* trace) {
        auto* exp = trace->add_subcommand("export", "Write the trace file as a waveform: a Value Change Dump or CSV");
        auto* vcd_option = exp->add_option("--vcd", vcd, "Value Change Dump FILE, for waveform viewers");
        exp->add_option("--csv", csv, "CSV FILE: a row per cycle with a change")->excludes(vcd_option);
        exp->add_option("--file", file, "The trace file (default: beside the running program)");
        exp->callback([this] {
            if (!vcd && !csv) throw CLI::RequiredError("--vcd or --csv");
            const auto format = vcd ? WaveWriter::Format::Vcd : WaveWriter::Format::Csv;
            const std::string out_path = vcd ? *vcd : *csv;
            action = [this, format, out_path](const Session& s) {
                const SymbolTable* symbols = s.symbols();
                export_trace(trace_path(s, file), symbols, s.block().layout().count,
                             symbols ? symbols->program : s.task_name(), format, out_path);
                return 0;
            };
            launch = [this, format, out_path](const AttachOptions& a) {
                if (!file || !a.symbols) {
                    const Session s = Session::attach(a);
                    return action(s);
                }
                const SymbolTable symbols = load_symbols(*a.symbols);
                export_trace(*file, &symbols, symbols.counts, symbols.program, format, out_path);
                return 0;
            };
        });
    }

    std::optional<std::ofstream> open_wave() const {
        if (!vcd) return std::nullopt;
        std::optional<std::ofstream> out(std::in_place, *vcd, std::ios::binary | std::ios::trunc);
        if (!*out) throw Failure("cannot write the waveform " + *vcd);
        return out;
    }

    int play(const Session& s, std::function<bool()> program_running, Recorder* recorder = nullptr,
             std::ofstream* wave = nullptr) {
        const Scenario scenario = load_scenario(words.front());
        std::optional<Recorder> own;
        if (recorder == nullptr && (own = open_recording())) recorder = &*own;
        std::optional<std::ofstream> own_wave;
        if (wave == nullptr && (own_wave = open_wave())) wave = &*own_wave;
        SimOptions options;
        options.seed = seed;
        options.duration = duration;
        options.lights = lights;
        options.colour = colour_wanted(colour);
        options.check_only = flag;
        options.fast = fast;
        options.cycle_limit = std::chrono::milliseconds(static_cast<long long>(std::min(cycle_limit, 3600.0) * 1000.0));
        options.program_running = std::move(program_running);
        options.recorder = recorder;
        options.waveform = wave;
        options.force = force_replay;
        return simulate(s, scenario, options, std::cout);
    }

    // sim --fast --program: the scenario is read and the program started
    // before anything is played; the program ends whatever happens.
    int launch_and_play(const AttachOptions& attach) {
        load_scenario(words.front());
        auto recorder = open_recording();
        auto wave = open_wave();
        LaunchedProgram launched = LaunchedProgram::start(*program, std::chrono::seconds(10));
        const Session session = launched.attach(attach.symbols);
        return play(session, [&launched] { return launched.running(); }, recorder ? &*recorder : nullptr,
                    wave ? &*wave : nullptr);
    }
};

// One example per command, printed below its usage: the command's full name
// (with its parent's) and the lines that show it at work.
struct Example {
    const char* command;
    const char* lines;
};
constexpr Example examples[] = {
    {"status", "vxctl status"},
    {"run", "vxctl run"},
    {"stop", "vxctl stop"},
    {"pause", "vxctl pause"},
    {"free", "vxctl free"},
    {"end", "vxctl --block crossing end"},
    {"step", "vxctl step 20"},
    {"get", "vxctl get jour vert B7 I523"},
    {"set", "vxctl set jour=1 nuit=0"},
    {"force", "vxctl force vert=0"},
    {"unforce", "vxctl unforce vert     (or: vxctl unforce --all)"},
    {"forced", "vxctl forced"},
    {"vars", "vxctl vars"},
    {"objects", "vxctl --block line objects"},
    {"trace", "vxctl trace add jour vert && vxctl trace on"},
    {"trace add", "vxctl trace add jour vert tarvo__X_21"},
    {"trace remove", "vxctl trace remove vert"},
    {"trace clear", "vxctl trace clear"},
    {"trace list", "vxctl trace list"},
    {"trace on", "vxctl trace on"},
    {"trace off", "vxctl trace off"},
    {"trace restart", "vxctl trace restart"},
    {"trace export", "vxctl trace export --vcd tarvo.vcd     (or: vxctl trace export --csv tarvo.csv)"},
    {"trace show", "vxctl trace show     (or: vxctl trace show --file build/bin/tarvo.trc)"},
    {"watch", "vxctl watch add vert"},
    {"watch add", "vxctl watch add vert orange"},
    {"watch remove", "vxctl watch remove orange"},
    {"watch clear", "vxctl watch clear"},
    {"watch list", "vxctl watch list"},
    {"break", "vxctl break add 3 1"},
    {"break add", "vxctl break add 3 1"},
    {"break clear", "vxctl break clear 3 1     (or: vxctl break clear)"},
    {"break list", "vxctl break list"},
    {"monitor", "vxctl monitor     (or, one frame: vxctl monitor --once --width 100)"},
    {"sim", "vxctl sim scenarios/tarvo.scn     (or, on plant time, starting the program itself:\n"
            "  vxctl sim --fast --program build/bin/conveyor --record shift.scn scenarios/conveyor.scn)"},
    {"modbus", "vxctl --block crossing modbus --control     (or: vxctl --symbols build/bin/tarvo.vars modbus --print-map)"},
    {"web", "vxctl --block line web     (then open the URL it prints; vxctl web --read-only --listen 0.0.0.0:8080)"},
    {"help", "vxctl help trace add     (or: vxctl trace add --help)"},
};

std::string full_name(const CLI::App& command) {
    const CLI::App* parent = command.get_parent();
    if (parent == nullptr || parent->get_parent() == nullptr) return command.get_name();
    return full_name(*parent) + " " + command.get_name();
}

void add_examples(CLI::App& command) {
    for (CLI::App* sub : command.get_subcommands([](CLI::App*) { return true; })) {
        const std::string name = full_name(*sub);
        for (const Example& e : examples)
            if (name == e.command) sub->footer(std::string("Example:\n  ") + e.lines);
        add_examples(*sub);
    }
}

// `vxctl help [COMMAND [SUB-COMMAND]]`: the usage of vxctl or of that command.
int show_help(CLI::App& app, const std::vector<std::string>& path) {
    CLI::App* command = &app;
    std::string parents = "vxctl";
    for (const std::string& word : path) {
        if (command != &app) parents += " " + command->get_name();
        const auto found = command->get_subcommands([&](CLI::App* a) { return a->get_name() == word; });
        if (found.empty()) {
            std::cerr << "vxctl: no command '" << word << "'; vxctl help lists them\n";
            return 1;
        }
        command = found.front();
    }
    // Through the formatter: App::help() would describe the help command
    // itself, the sub-command that was parsed.
    const std::string name = command == &app ? parents : parents + " " + command->get_name();
    std::cout << command->get_formatter()->make_help(command, name, CLI::AppFormatMode::Normal);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vxctl: drive, inspect and debug a running controller program through its shared block", "vxctl"};
    app.require_subcommand(0, 1);
    AttachOptions attach;
    app.add_option("--block", attach.block, "Name of the shared block")->envname("VX_MEMORY_NAME")->capture_default_str();
    app.add_option("--symbols", attach.symbols, "Symbol file (default: <program>.vars beside the running program)");

    Commands commands;
    commands.add_status_commands(app);
    commands.add_value_commands(app);
    commands.add_list_commands(app, "trace", ListKind::Trace, "Trace lists and the trace file");
    commands.add_list_commands(app, "watch", ListKind::Watch, "Watch list: bool variables whose change stops the program");
    commands.add_breakpoint_commands(app);
    commands.add_monitor_and_sim(app);
    commands.add_modbus_command(app);
    commands.add_web(app);
    commands.add_help_command(app);
    add_examples(app);
    const std::string version = std::string("vxctl ") + vx_version() + " (commit " + vx_commit() + ")";
    app.set_version_flag("--version", version, "Print the version and the commit vxctl was built from");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 1;
    }
    if (commands.standalone) {
        try {
            return commands.standalone(attach);
        } catch (const Failure& e) {
            std::cerr << "vxctl: " << e.what() << "\n";
            return 1;
        }
    }
    if (commands.local_action) return commands.local_action();
    if (!commands.action) {
        // No command: introduce vxctl rather than fail in silence.
        std::cout << app.help();
        return 0;
    }
    try {
        if (commands.launch) return commands.launch(attach);
        const Session session = Session::attach(attach);
        return commands.action(session);
    } catch (const Failure& e) {
        std::cout.flush();
        std::cerr << "vxctl: " << e.what() << "\n";
        return 1;
    }
}
