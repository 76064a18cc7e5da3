// What the web view shows of a block, as JSON: the program's description
// (symbols, graph file, plant objects) and its state as a flat map of keys to
// values, so that a viewer is brought up to date by the keys that changed.
//
// State keys: "s.<field>" the status fields (attached, alive, pid, status,
// reported, counter, period, mean, min, max, changes, held, report), "v.<name>"
// the current value of a variable, "f.<name>" true while it is forced,
// "o.<name>" an object as [status, m0, m1, m3, m4, m5, m7] (the placement
// matrix entries that give its top view).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "vx/console/session.hpp"

namespace vx::console {

using Json = nlohmann::json;
using Frame = std::map<std::string, Json>;

// The keys of `now` whose value differs from `before`, and those gone
// (as null).
Json frame_delta(const Frame& before, const Frame& now);
Json frame_json(const Frame& frame);

// The state of an attached session, read now.
Frame read_frame(const Session& session);

// The description of the program behind a session: block, program, symbols,
// the graph file when one lies beside the symbol file, the plant's objects.
Json program_json(const Session& session);

// The graph file beside a symbol file (<program>.vars -> <program>.graph.json),
// parsed; null when there is none or it cannot be read.
Json load_graph_file(const std::string& symbols_path);

// A session that follows the block: attached when a program has laid it
// out, replaced when another program lays it out again. Thread-safe.
class BlockLink {
public:
    explicit BlockLink(AttachOptions options) : options_(std::move(options)) {}

    // Attaches when not attached, or again when another program now runs on
    // the block. Returns the session (none while there is nothing to attach
    // to) and counts each new attachment in generation().
    std::shared_ptr<const Session> refresh();
    std::shared_ptr<const Session> session() const;
    std::uint64_t generation() const;

private:
    AttachOptions options_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Session> session_;
    std::int32_t pid_ = 0;
    std::uint64_t generation_ = 0;
};

}  // namespace vx::console
