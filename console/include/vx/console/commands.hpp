// The console's commands on an attached session. Each one checks all of its
// input before it writes anything, prints its result on `out`, and throws a
// Failure (with the block unchanged) when the input is wrong.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string_view>
#include <string>
#include <utility>
#include <vector>

#include "vx/console/session.hpp"

namespace vx::console {

void show_status(const Session& session, std::ostream& out);

// run, stop, pause, free, end: writes the status; `end` waits until the
// program has ended.
void command_status(const Session& session, std::int32_t status, std::ostream& out);

// Runs `count` cycles one at a time, waiting for each.
void step(const Session& session, std::int64_t count, std::ostream& out);

void get(const Session& session, const std::vector<std::string>& names, std::ostream& out);

// "name=value" words, all checked before the first write.
using Assignment = std::pair<VarRef, Value>;
Assignment parse_assignment(const Session& session, std::string_view name, std::string_view value);
std::vector<Assignment> parse_assignments(const Session& session, const std::vector<std::string>& words);

void set(const Session& session, const std::vector<std::string>& words);
void force(const Session& session, const std::vector<std::string>& words);
void unforce(const Session& session, const std::vector<std::string>& names, bool all, std::ostream& out);
void list_forced(const Session& session, std::ostream& out);
std::vector<VarRef> forced_variables(const Session& session);

// The trace lists (one per cell type) and the watch list of bool cells.
enum class ListKind { Trace, Watch };
void list_add(const Session& session, ListKind kind, const std::vector<std::string>& names, std::ostream& out);
void list_remove(const Session& session, ListKind kind, const std::vector<std::string>& names);
void list_clear(const Session& session, ListKind kind);
void list_show(const Session& session, ListKind kind, std::ostream& out);
std::vector<VarRef> listed(const Session& session, ListKind kind);

void trace_switch(const Session& session, bool on);
void trace_restart(const Session& session);
// The trace file: `file` when given, else the one beside the running program.
std::string trace_path(const Session& session, const std::optional<std::string>& file);
// The program's trace file with the variables' names beside their cells.
void trace_show(const Session& session, const std::optional<std::string>& file, std::ostream& out);
std::string annotate_trace_line(const Session& session, const std::string& line);

struct Breakpoint {
    std::int32_t location = 0;
    std::int32_t instance = 0;
    bool operator==(const Breakpoint&) const = default;
};
std::vector<Breakpoint> breakpoints(const Session& session);
void breakpoint_add(const Session& session, Breakpoint breakpoint, std::ostream& out);
void breakpoint_clear(const Session& session, std::optional<Breakpoint> breakpoint);
void breakpoint_list(const Session& session, std::ostream& out);

// The variables of the symbol file, in its order.
void list_variables(const Session& session, std::ostream& out);

}  // namespace vx::console
