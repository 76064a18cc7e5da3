#include "vx/console/commands.hpp"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <ctime>
#include <fstream>
#include <ostream>
#include <thread>

#include "vx/executive.hpp"
#include "vx_runtime.h"

namespace vx::console {
namespace {

using namespace std::chrono_literals;

std::string number(double value, int decimals = 0) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string date_text(std::int32_t seconds) {
    const std::time_t t = seconds;
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return "?";
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

IndexList& trace_list(MemoryHeader& header, CellType type) {
    switch (type) {
        case CellType::Bool: return header.traceBool;
        case CellType::Int: return header.traceInt;
        case CellType::Float: return header.traceFloat;
        case CellType::Char: break;
    }
    return header.traceChar;
}

IndexList& list_for(const Session& session, ListKind kind, const VarRef& ref) {
    MemoryHeader& header = *session.block().header();
    if (kind == ListKind::Watch) {
        if (ref.type != CellType::Bool) throw Failure(ref.label() + " cannot be watched: the watch list holds bool variables only");
        return header.watchBool;
    }
    return trace_list(header, ref.type);
}

const char* list_name(ListKind kind) { return kind == ListKind::Trace ? "trace" : "watch"; }

std::vector<VarRef> resolve_all(const Session& session, const std::vector<std::string>& names) {
    std::vector<VarRef> refs;
    for (const auto& n : names) refs.push_back(session.resolve(n));
    return refs;
}

std::vector<std::int32_t> entries_of(const IndexList& list) {
    std::vector<std::int32_t> entries;
    for_each_listed(list, [&](std::int32_t index) { entries.push_back(index); });
    return entries;
}

bool is_listed(const IndexList& list, std::int32_t index) {
    const auto entries = entries_of(list);
    return std::find(entries.begin(), entries.end(), index) != entries.end();
}

std::string join_labels(const std::vector<VarRef>& refs) {
    std::string text;
    for (const auto& r : refs) text += (text.empty() ? "" : ", ") + r.label();
    return text.empty() ? "none" : text;
}

std::int32_t breakpoint_count(const Session& session) {
    const std::int32_t n = cur(session.int_cell(cells::bpnoline));
    if (n < 0 || n > VX_MAX_BREAKPOINTS)
        throw Failure("the breakpoint count in the block reads " + std::to_string(n) +
                      ", which is not 0 to 101; 'break clear' resets it");
    return n;
}

void wait_for_end(const Session& session) {
    const auto deadline = std::chrono::steady_clock::now() + session.answer_timeout();
    while (session.alive() && session.pid() != 0) {
        if (std::chrono::steady_clock::now() > deadline)
            throw Failure("the program did not end within " + std::to_string(session.answer_timeout().count() / 1000) + " s");
        std::this_thread::sleep_for(1ms);
    }
}

}  // namespace

void show_status(const Session& s, std::ostream& out) {
    const BlockView& b = s.block();
    out << "block        " << s.block_name() << " (" << b.layout().space << " of " << s.mapped_size() << " bytes laid out; "
        << "cells " << b.count(CellType::Bool) << " bool, " << b.count(CellType::Int) << " int, "
        << b.count(CellType::Float) << " float, " << b.count(CellType::Char) << " char)\n";
    out << "program      " << (s.symbols() ? s.symbols()->program : std::string("?")) << ", task name \"" << s.task_name()
        << "\"\n";
    out << "symbols      " << (s.symbols() ? s.symbols_origin() : std::string("none")) << "\n";
    const std::int32_t pid = s.pid();
    out << "process      " << (pid == 0 ? std::string("none (the program has ended)")
                                        : std::to_string(pid) + (s.alive() ? " (alive)" : " (not running)"))
        << "\n";
    const IntCell& status = s.int_cell(cells::execstatus);
    out << "status       " << status_name(cur(status));
    if (prev(status) != cur(status)) out << " (last reported " << status_name(prev(status)) << ")";
    out << "\n";
    out << "cycle        " << s.counter() << "\n";
    auto f = [&](std::int32_t index) { return static_cast<double>(cur(s.float_cell(index))); };
    out << "period       " << number(f(cells::simuperiod)) << " us (measured: mean " << number(f(cells::realsimuperiod))
        << ", min " << number(f(cells::minsimuperiod)) << ", max " << number(f(cells::maxsimuperiod)) << " us)\n";
    out << "changes      per cycle: mean " << number(f(cells::mxmeanvariablemodification), 2) << ", min "
        << number(f(cells::mxminvariablemodification), 0) << ", max "
        << number(f(cells::mxmaxvariablemodification), 0) << "\n";
    out << "signature    " << cur(s.int_cell(cells::signature)) << "\n";
    const std::int32_t generated = cur(s.int_cell(cells::generationtime));
    out << "generated    " << date_text(generated) << " (" << generated << ")\n";
    MemoryHeader& h = *b.header();
    out << "trace        " << (cur(s.bool_cell(cells::traceon)) ? "on" : "off")
        << (cur(s.bool_cell(cells::resettrace)) ? ", restart requested" : "") << "; listed: "
        << entries_of(h.traceBool).size() << " bool, " << entries_of(h.traceInt).size() << " int, "
        << entries_of(h.traceFloat).size() << " float, " << entries_of(h.traceChar).size() << " char\n";
    out << "watch list   " << join_labels(listed(s, ListKind::Watch)) << "\n";
    const auto bps = breakpoints(s);
    out << "breakpoints  ";
    if (bps.empty()) out << "none";
    for (std::size_t i = 0; i < bps.size(); ++i) out << (i ? ", " : "") << bps[i].location << "/" << bps[i].instance;
    out << "\n";
    out << "held at      ";
    if (const std::int32_t instance = cur(s.int_cell(cells::bpcurrentinstance)); instance != 0)
        out << "location " << cur(s.int_cell(cells::bpcurrentlocation)) << ", instance " << instance << "\n";
    else
        out << "nothing\n";
    out << "last report  location " << cur(s.int_cell(cells::bpcurrentlocation)) << ", code "
        << cur(s.int_cell(cells::bpcurrentprepostcode)) << ", type " << cur(s.int_cell(cells::bpcurrenttypeerror))
        << ", rank " << cur(s.int_cell(cells::bpcurrentrank)) << "\n";
    const auto forced = forced_variables(s);
    out << "forced       ";
    if (forced.empty()) out << "none";
    for (std::size_t i = 0; i < forced.size(); ++i)
        out << (i ? ", " : "") << forced[i].label() << " = " << format_value(read_cur(b, forced[i]));
    out << "\n";
}

void command_status(const Session& session, std::int32_t status, std::ostream& out) {
    if (status == END) {
        if (!session.alive()) throw Failure("no program is running on shared block \"" + session.block_name() + "\"");
        session.set_status(END);
        wait_for_end(session);
        out << "the program has ended\n";
        return;
    }
    session.set_status(status);
    if (!session.alive()) out << "note: no program is running on the block to act on " << status_name(status) << "\n";
}

void step(const Session& session, std::int64_t count, std::ostream& out) {
    if (count < 1) throw Failure("the number of cycles to step must be at least 1");
    for (std::int64_t i = 0; i < count; ++i) {
        if (!session.step_once()) {
            out << "held at a breakpoint: location " << cur(session.int_cell(cells::bpcurrentlocation)) << ", instance "
                << cur(session.int_cell(cells::bpcurrentinstance)) << "\n";
            return;
        }
    }
    out << "cycle " << session.counter() << ", status " << status_name(session.status()) << "\n";
}

void get(const Session& session, const std::vector<std::string>& names, std::ostream& out) {
    const auto refs = resolve_all(session, names);
    for (const auto& r : refs) {
        const CellState state = read_cell(session.block(), r);
        out << r.label() << " = " << format_value(state.cur);
        if (state.forced) out << " (forced)";
        out << "\n";
    }
}

Assignment parse_assignment(const Session& session, std::string_view name, std::string_view text) {
    VarRef ref = session.resolve(name);
    try {
        const Value value = parse_value(ref.type, text);
        return {std::move(ref), value};
    } catch (const Failure& e) {
        throw Failure(ref.label() + ": " + e.what());
    }
}

std::vector<Assignment> parse_assignments(const Session& session, const std::vector<std::string>& words) {
    std::vector<Assignment> assignments;
    for (const std::string_view w : words) {
        const auto eq = w.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == w.size())
            throw Failure("'" + std::string(w) + "' is not an assignment: write name=value, for example jour=1");
        assignments.push_back(parse_assignment(session, w.substr(0, eq), w.substr(eq + 1)));
    }
    return assignments;
}

void set(const Session& session, const std::vector<std::string>& words) {
    const auto assignments = parse_assignments(session, words);
    // The controller never posts an input, so writing a forced input would
    // lose its forced value for good while the flag stays set.
    for (const auto& [ref, value] : assignments) {
        if (is_forced(session.block(), ref))
            throw Failure(ref.label() + " is forced: change it with force, or unforce it first");
    }
    for (const auto& [ref, value] : assignments) write_cur(session.block(), ref, value);
}

void force(const Session& session, const std::vector<std::string>& words) {
    for (const auto& [ref, value] : parse_assignments(session, words)) console::force(session.block(), ref, value);
}

void unforce(const Session& session, const std::vector<std::string>& names, bool all, std::ostream& out) {
    if (all == !names.empty()) throw Failure("name the variables to unforce, or give --all");
    const auto refs = all ? forced_variables(session) : resolve_all(session, names);
    for (const auto& r : refs) {
        if (!all && !is_forced(session.block(), r)) out << r.label() << " was not forced\n";
        console::unforce(session.block(), r);
    }
}

std::vector<VarRef> forced_variables(const Session& session) {
    std::vector<VarRef> found;
    for (std::size_t area = 0; area < kCellTypes; ++area) {
        const auto type = static_cast<CellType>(area);
        for (std::int32_t i = 0; i < session.block().count(type); ++i) {
            if (with_cell(session.block(), type, i, [](const auto& c) { return forced(c); }))
                found.push_back(session.named(type, i));
        }
    }
    return found;
}

void list_forced(const Session& session, std::ostream& out) {
    const auto found = forced_variables(session);
    if (found.empty()) out << "no variable is forced\n";
    for (const auto& r : found) out << r.label() << " = " << format_value(read_cur(session.block(), r)) << "\n";
}

void list_add(const Session& session, ListKind kind, const std::vector<std::string>& names, std::ostream& out) {
    const auto refs = resolve_all(session, names);
    for (const auto& r : refs) {
        list_for(session, kind, r);  // refuses what the list cannot hold, before any write
        if (r.index == 0) throw Failure(r.label() + " cannot be listed: index 0 ends a list");
    }
    for (const auto& r : refs) {
        IndexList& list = list_for(session, kind, r);
        if (is_listed(list, r.index)) {
            out << r.label() << " is already in the " << list_name(kind) << " list\n";
        } else if (VX_addIndex(r.index, &list) != 1) {
            throw Failure("the " + std::string(list_name(kind)) + " list for " + r.label() + " is full (1000 entries)");
        }
    }
}

void list_remove(const Session& session, ListKind kind, const std::vector<std::string>& names) {
    const auto refs = resolve_all(session, names);
    for (const auto& r : refs) {
        if (!is_listed(list_for(session, kind, r), r.index))
            throw Failure(r.label() + " is not in the " + list_name(kind) + " list");
    }
    for (const auto& r : refs) VX_removeIndex(r.index, &list_for(session, kind, r));
}

void list_clear(const Session& session, ListKind kind) {
    MemoryHeader& h = *session.block().header();
    auto clear = [](IndexList& list) {
        // From the end, so that the list reads as a shorter list meanwhile.
        for (int i = VX_INDEX_LIST_LENGTH - 1; i >= 0; --i) vx_store_i32(&list.entry[i], 0);
    };
    if (kind == ListKind::Watch) {
        clear(h.watchBool);
        return;
    }
    for (IndexList* list : {&h.traceBool, &h.traceInt, &h.traceFloat, &h.traceChar}) clear(*list);
}

std::vector<VarRef> listed(const Session& session, ListKind kind) {
    MemoryHeader& h = *session.block().header();
    std::vector<VarRef> refs;
    auto take = [&](const IndexList& list, CellType type) {
        for (const auto index : entries_of(list)) refs.push_back(session.named(type, index));
    };
    if (kind == ListKind::Watch) {
        take(h.watchBool, CellType::Bool);
    } else {
        for (std::size_t area = 0; area < kCellTypes; ++area)
            take(trace_list(h, static_cast<CellType>(area)), static_cast<CellType>(area));
    }
    return refs;
}

void list_show(const Session& session, ListKind kind, std::ostream& out) {
    const auto refs = listed(session, kind);
    if (refs.empty()) out << "the " << list_name(kind) << " list is empty\n";
    for (const auto& r : refs) {
        out << r.label();
        if (!session.block().contains(r.type, r.index)) out << " (outside its area)";
        out << "\n";
    }
}

void trace_switch(const Session& session, bool on) { set_cur(session.bool_cell(cells::traceon), on); }

void trace_restart(const Session& session) { set_cur(session.bool_cell(cells::resettrace), true); }

std::string annotate_trace_line(const Session& session, const std::string& line) {
    // Change lines read "<cycle> <letter><index> <prev>:<cur>".
    const auto space = line.find(' ');
    if (space == std::string::npos || space + 1 >= line.size()) return line;
    const auto second = line.find(' ', space + 1);
    if (second == std::string::npos) return line;
    const std::string cell = line.substr(space + 1, second - space - 1);
    const auto raw = parse_raw(cell);
    if (!raw || raw->index > INT32_MAX) return line;
    const SymbolTable* symbols = session.symbols();
    const Symbol* s = symbols ? symbols->at(raw->type, static_cast<std::int32_t>(raw->index)) : nullptr;
    return s ? line + "  " + s->name : line;
}

std::string trace_path(const Session& session, const std::optional<std::string>& file) {
    if (file) return *file;
    const auto argv0 = session.program_argv0();
    if (!argv0) throw Failure("the program is not running, so its trace file cannot be found; give it with --file");
    return derive_file_names(*argv0).trace;
}

void trace_show(const Session& session, const std::optional<std::string>& file, std::ostream& out) {
    const std::string path = trace_path(session, file);
    std::ifstream in(path);
    if (!in) throw Failure("cannot read the trace file " + path);
    std::string line;
    while (std::getline(in, line)) out << annotate_trace_line(session, line) << "\n";
}

std::vector<Breakpoint> breakpoints(const Session& session) {
    std::vector<Breakpoint> found;
    const std::int32_t n = std::clamp(cur(session.int_cell(cells::bpnoline)), 0, std::int32_t{VX_MAX_BREAKPOINTS});
    for (std::int32_t k = 0; k < n; ++k)
        found.push_back({cur(session.int_cell(cells::bplocations + k)),
                         cur(session.int_cell(cells::bpinstances + k))});
    return found;
}

void breakpoint_add(const Session& session, Breakpoint bp, std::ostream& out) {
    const std::int32_t n = breakpoint_count(session);
    const auto existing = breakpoints(session);
    if (std::find(existing.begin(), existing.end(), bp) != existing.end()) {
        out << "breakpoint " << bp.location << "/" << bp.instance << " is already set\n";
        return;
    }
    if (n == VX_MAX_BREAKPOINTS) throw Failure("there are already 101 breakpoints, the most the block holds");
    // The pair first, then the count: the program never checks half a pair.
    set_cur(session.int_cell(cells::bplocations + n), bp.location);
    set_cur(session.int_cell(cells::bpinstances + n), bp.instance);
    set_cur(session.int_cell(cells::bpnoline), n + 1);
}

void breakpoint_clear(const Session& session, std::optional<Breakpoint> bp) {
    if (!bp) {
        set_cur(session.int_cell(cells::bpnoline), 0);
        return;
    }
    const std::int32_t n = breakpoint_count(session);
    const auto existing = breakpoints(session);
    const auto it = std::find(existing.begin(), existing.end(), *bp);
    if (it == existing.end())
        throw Failure("there is no breakpoint " + std::to_string(bp->location) + "/" + std::to_string(bp->instance));
    // Later pairs move up while the count still covers them (a pair may be
    // seen twice meanwhile, never a foreign one), then the count shrinks.
    for (auto k = static_cast<std::int32_t>(it - existing.begin()); k + 1 < n; ++k) {
        set_cur(session.int_cell(cells::bplocations + k), existing[static_cast<std::size_t>(k) + 1].location);
        set_cur(session.int_cell(cells::bpinstances + k), existing[static_cast<std::size_t>(k) + 1].instance);
    }
    set_cur(session.int_cell(cells::bpnoline), n - 1);
}

void breakpoint_list(const Session& session, std::ostream& out) {
    const auto bps = breakpoints(session);
    if (bps.empty()) out << "no breakpoint\n";
    for (const auto& bp : bps) out << "location " << bp.location << ", instance " << bp.instance << "\n";
}

void list_variables(const Session& session, std::ostream& out) {
    const SymbolTable& table = session.require_symbols();
    out << "program " << table.program << "\n";
    for (const auto& s : table.symbols) {
        const VarRef ref{s.type, s.index, s.name};
        const CellState state = read_cell(session.block(), ref);
        out << ref.label() << " " << role_name(s.role) << " = " << format_value(state.cur)
            << (state.forced ? " (forced)" : "") << "\n";
    }
}

}  // namespace vx::console
