// vxctl modbus: a Modbus TCP server over the block of a running controller
// program. The server is one more participant of the block, like the rest of
// the console: it reads and writes cells through the console's accessors and
// never makes the controller wait. Frames are received and answered by
// libmodbus; this server only decides what each request means for the block.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "vx/console/modbus_map.hpp"
#include "vx/console/session.hpp"

namespace vx::console::modbus {

inline constexpr std::uint16_t kDefaultPort = 1502;
inline constexpr int kDefaultMaxClients = 32;
inline constexpr int kDefaultIdleSeconds = 60;

struct ServerOptions {
    std::string address = "127.0.0.1";  // IPv4, numeric
    std::uint16_t port = kDefaultPort;
    WriteRules rules;
    bool read_only = false;
    bool low_word_first = false;  // 32- and 64-bit values: low word at the lower address
    std::optional<std::string> map_file;
    int max_clients = kDefaultMaxClients;
    int idle_seconds = kDefaultIdleSeconds;  // 0: never
};

// "ADDR:PORT" with a numeric IPv4 address and a port from 1 to 65535 (a
// Failure that says what is wrong otherwise).
void parse_listen(std::string_view text, ServerOptions& options);

// The address map the server would use, as CSV: from the symbol file given
// with --symbols alone, or from the running program's.
void print_map(const AttachOptions& attach, const ServerOptions& options, std::ostream& out);

// Serves until Ctrl-C or SIGTERM; 0 then, 1 (after a message on `err`) when
// the server cannot start. Waits for a program when there is none yet, and
// for the next one when the program ends.
int serve(const AttachOptions& attach, const ServerOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vx::console::modbus
