#include "vx/console/modbus_server.hpp"

#include <modbus/modbus.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "vx/console/text_file.hpp"
#include "vx/platform/system.hpp"
#include "vx_runtime.h"

namespace vx::console::modbus {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long the server waits in poll: the pace at which it notices a signal,
// a program that ended or one that started, and idle clients.
constexpr int kPollMs = 50;
// libmodbus is handed a frame once it has come whole (see arrival()), so it
// waits for bytes only when a frame is shorter than its function needs: then
// this long, and the client is dropped.
constexpr std::uint32_t kByteTimeoutUs = 50000;
// A frame must have come whole within this time of its first byte.
constexpr auto kFrameTimeout = 500ms;
// The pace at which the server looks again at clients with part of a frame.
constexpr int kPartialPollMs = 2;
// How often the server looks for a program while it has none.
constexpr auto kAttachRetry = 200ms;
constexpr int kAddresses = 65536;
constexpr int kStatusValues[] = {STOP, RUN, STEP, END};

// Function codes that the server serves.
enum Function : std::uint8_t {
    kReadCoils = 0x01,
    kReadDiscreteInputs = 0x02,
    kReadHoldingRegisters = 0x03,
    kReadInputRegisters = 0x04,
    kWriteSingleCoil = 0x05,
    kWriteSingleRegister = 0x06,
    kWriteMultipleCoils = 0x0F,
    kWriteMultipleRegisters = 0x10,
};

struct ModbusFree {
    void operator()(modbus_t* ctx) const {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Context = std::unique_ptr<modbus_t, ModbusFree>;

struct MappingFree {
    void operator()(modbus_mapping_t* m) const { modbus_mapping_free(m); }
};

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

// A refusal: the standard exception, nothing changed.
struct Refusal {
    int code = 0;
};

// The registers of a value of up to 64 bits, high word first, or low word
// first when asked.
using Words = std::array<std::uint16_t, 4>;

Words split(std::uint64_t bits, std::uint16_t width, bool low_first) {
    Words w{};
    for (std::uint16_t i = 0; i < width; ++i) {
        const std::uint16_t shift = static_cast<std::uint16_t>(16 * (low_first ? i : width - 1 - i));
        w[i] = static_cast<std::uint16_t>(bits >> shift);
    }
    return w;
}

std::uint64_t join(const std::uint16_t* w, std::uint16_t width, bool low_first) {
    std::uint64_t bits = 0;
    for (std::uint16_t i = 0; i < width; ++i) {
        const std::uint16_t shift = static_cast<std::uint16_t>(16 * (low_first ? i : width - 1 - i));
        bits |= std::uint64_t{w[i]} << shift;
    }
    return bits;
}

// The server's view of one program: its session and map, rebuilt for every
// program that lays out the block.
struct Program {
    Session session;
    AddressMap map;
    std::int32_t pid = 0;
};

class Server {
public:
    Server(const AttachOptions& attach, const ServerOptions& options, std::ostream& out, std::ostream& err)
        : attach_(attach), options_(options), out_(out), err_(err) {}

    int run();

private:
    struct Client {
        Context ctx;
        int fd = -1;
        Clock::time_point last;
        std::optional<Clock::time_point> partial_since;  // part of a frame has come
    };

    bool listen();
    void accept_client();
    // False when the client is to be dropped.
    bool serve_one(Client& client);
    void answer(modbus_t* ctx, const std::uint8_t* req, int length);
    void look_after_program();
    bool try_attach();

    void read_bits(Table table, const std::uint8_t* pdu, modbus_t* ctx, const std::uint8_t* req, int length);
    void read_registers(Table table, const std::uint8_t* pdu, modbus_t* ctx, const std::uint8_t* req, int length);
    void write_bits(const std::uint8_t* pdu, std::uint8_t function);
    void write_registers(const std::uint8_t* pdu, std::uint8_t function);

    // The entries covering [address, address + count) of `table`, whole or
    // in part; a Refusal (illegal data address) when an address is unmapped.
    std::vector<const Entry*> covering(Table table, std::uint32_t address, std::uint32_t count) const;
    Words read_value(const Entry& e) const;
    void check_writable(const Entry& e) const;
    bool forced(const Entry& e) const;

    const AttachOptions& attach_;
    const ServerOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    Context listener_;
    int listen_fd_ = -1;
    std::vector<Client> clients_;
    std::unique_ptr<modbus_mapping_t, MappingFree> scratch_;
    std::optional<Program> program_;
    Clock::time_point next_attach_{};
    Clock::time_point next_life_check_{};
    bool said_waiting_ = false;
    std::string last_attach_error_;
    std::uint64_t requests_ = 0, accepted_ = 0, refused_ = 0;
};

bool Server::listen() {
    listener_.reset(modbus_new_tcp(options_.address.c_str(), options_.port));
    if (!listener_) {
        err_ << "vxctl: cannot set up a Modbus TCP server: " << modbus_strerror(errno) << "\n";
        return false;
    }
    listen_fd_ = modbus_tcp_listen(listener_.get(), 64);
    if (listen_fd_ < 0) {
        const int e = errno;
        err_ << "vxctl: cannot listen on " << options_.address << ":" << options_.port << ": " << modbus_strerror(e);
        if (e == EACCES && options_.port < 1024)
            err_ << " (ports below 1024, such as the standard 502, need privileges: run with the capability "
                    "CAP_NET_BIND_SERVICE, or listen on a port from 1024 on, such as the default 1502)";
        if (e == EADDRINUSE) err_ << " (another server listens there; choose another port with --listen)";
        err_ << "\n";
        return false;
    }
    return true;
}

void Server::accept_client() {
    int fd = listen_fd_;
    const int s = modbus_tcp_accept(listener_.get(), &fd);
    // The listening context keeps the listening socket, not the last client.
    modbus_set_socket(listener_.get(), listen_fd_);
    if (s < 0) return;
    Context ctx(modbus_new_tcp(options_.address.c_str(), options_.port));
    if (!ctx) return;
    modbus_set_socket(ctx.get(), s);
    if (static_cast<int>(clients_.size()) >= options_.max_clients) {
        ++refused_;
        return;  // closed at once: the others keep their places
    }
    modbus_set_byte_timeout(ctx.get(), 0, kByteTimeoutUs);
    modbus_set_indication_timeout(ctx.get(), 0, kByteTimeoutUs);
    modbus_set_error_recovery(ctx.get(), MODBUS_ERROR_RECOVERY_NONE);
    ++accepted_;
    clients_.push_back({std::move(ctx), s, Clock::now(), std::nullopt});
}

bool Server::serve_one(Client& client) {
    std::uint8_t req[MODBUS_TCP_MAX_ADU_LENGTH];
    const int length = modbus_receive(client.ctx.get(), req);
    if (length < 0) return false;  // closed, cut short, too long or garbled: only this client goes
    if (length == 0) return true;
    client.last = Clock::now();
    const int header = modbus_get_header_length(client.ctx.get());
    if (length <= header) return false;
    // The transport header: protocol 0, and a length that counts what
    // follows it. libmodbus frames by the function code, so a frame whose
    // length field disagrees cannot be trusted (nor can what follows it).
    if (u16(req + 2) != 0) return false;
    const std::uint8_t f = req[header];
    const bool known = (f >= kReadCoils && f <= kWriteSingleRegister) || f == kWriteMultipleCoils || f == kWriteMultipleRegisters;
    if (!known) {
        ++requests_;
        // The rest of its frame, which libmodbus cannot size, is dropped
        // before the answer: after it, the client may send the next request.
        if (u16(req + 4) != length - 6) modbus_flush(client.ctx.get());
        modbus_reply_exception(client.ctx.get(), req, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
        return true;
    }
    if (u16(req + 4) != length - 6) return false;
    ++requests_;
    answer(client.ctx.get(), req, length);
    return true;
}

void Server::answer(modbus_t* ctx, const std::uint8_t* req, int length) {
    const int header = modbus_get_header_length(ctx);
    const std::uint8_t function = req[header];
    const std::uint8_t* pdu = req + header;
    try {
        const bool write = function == kWriteSingleCoil || function == kWriteSingleRegister ||
                           function == kWriteMultipleCoils || function == kWriteMultipleRegisters;
        if (write && options_.read_only) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_FUNCTION};
        if (!program_ || program_->session.pid() != program_->pid)
            throw Refusal{MODBUS_EXCEPTION_GATEWAY_TARGET};
        switch (function) {
            case kReadCoils: read_bits(Table::Coil, pdu, ctx, req, length); return;
            case kReadDiscreteInputs: read_bits(Table::DiscreteInput, pdu, ctx, req, length); return;
            case kReadHoldingRegisters: read_registers(Table::HoldingRegister, pdu, ctx, req, length); return;
            case kReadInputRegisters: read_registers(Table::InputRegister, pdu, ctx, req, length); return;
            case kWriteSingleCoil:
            case kWriteMultipleCoils: write_bits(pdu, function); break;
            default: write_registers(pdu, function); break;
        }
        // The block is written; libmodbus answers as for any write (its
        // scratch tables take the values and are never read).
        modbus_reply(ctx, req, length, scratch_.get());
    } catch (const Refusal& r) {
        modbus_reply_exception(ctx, req, static_cast<unsigned>(r.code));
    } catch (const Failure&) {
        // A cell outside its area: the block changed under the map.
        modbus_reply_exception(ctx, req, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
    }
}

std::vector<const Entry*> Server::covering(Table table, std::uint32_t address, std::uint32_t count) const {
    if (address + count > kAddresses) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS};
    std::vector<const Entry*> entries;
    for (std::uint32_t a = address; a < address + count; ++a) {
        const Entry* e = program_->map.at(table, static_cast<std::uint16_t>(a));
        if (e == nullptr) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS};
        if (entries.empty() || entries.back() != e) entries.push_back(e);
    }
    return entries;
}

Words Server::read_value(const Entry& e) const {
    const BlockView& block = program_->session.block();
    const bool low = options_.low_word_first;
    switch (e.kind) {
        case Kind::Bool: return {static_cast<std::uint16_t>(std::get<bool>(read_cur(block, e.cell)) ? 1 : 0)};
        case Kind::Int:
            return split(static_cast<std::uint32_t>(std::get<std::int32_t>(read_cur(block, e.cell))), 2, low);
        case Kind::Real: return split(std::bit_cast<std::uint32_t>(std::get<float>(read_cur(block, e.cell))), 2, low);
        case Kind::Char: return {std::get<std::uint8_t>(read_cur(block, e.cell))};
        case Kind::Status: return {static_cast<std::uint16_t>(program_->session.status())};
        case Kind::Time: break;
    }
    // Days and ticks are two cells: read them until a second look finds
    // both unchanged, so that a value never mixes two moments.
    std::int32_t days = 0, ticks = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        days = std::get<std::int32_t>(read_cur(block, e.cell));
        ticks = std::get<std::int32_t>(read_cur(block, *e.ticks));
        if (days == std::get<std::int32_t>(read_cur(block, e.cell)) &&
            ticks == std::get<std::int32_t>(read_cur(block, *e.ticks)))
            break;
    }
    return split(static_cast<std::uint64_t>(time_ticks(days, ticks)), 4, low);
}

void Server::read_bits(Table table, const std::uint8_t* pdu, modbus_t* ctx, const std::uint8_t* req, int length) {
    const std::uint16_t address = u16(pdu + 1), count = u16(pdu + 3);
    if (count < 1 || count > MODBUS_MAX_READ_BITS) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
    const auto entries = covering(table, address, count);
    std::uint8_t* bits = table == Table::Coil ? scratch_->tab_bits : scratch_->tab_input_bits;
    for (const Entry* e : entries) bits[e->address] = static_cast<std::uint8_t>(read_value(*e)[0]);
    modbus_reply(ctx, req, length, scratch_.get());
}

void Server::read_registers(Table table, const std::uint8_t* pdu, modbus_t* ctx, const std::uint8_t* req, int length) {
    const std::uint16_t address = u16(pdu + 1), count = u16(pdu + 3);
    if (count < 1 || count > MODBUS_MAX_READ_REGISTERS) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
    const auto entries = covering(table, address, count);
    std::uint16_t* regs = table == Table::HoldingRegister ? scratch_->tab_registers : scratch_->tab_input_registers;
    // Each value is read once and all its registers come from that one read,
    // also when the request covers only part of it.
    for (const Entry* e : entries) {
        const Words w = read_value(*e);
        for (std::uint16_t i = 0; i < e->width; ++i) {
            const std::uint32_t a = std::uint32_t{e->address} + i;
            if (a >= address && a < std::uint32_t{address} + count) regs[a] = w[i];
        }
    }
    modbus_reply(ctx, req, length, scratch_.get());
}

void Server::check_writable(const Entry& e) const {
    if (!e.writable) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS};
}

bool Server::forced(const Entry& e) const {
    if (e.kind == Kind::Status) return false;
    const BlockView& block = program_->session.block();
    return is_forced(block, e.cell) || (e.ticks && is_forced(block, *e.ticks));
}

void Server::write_bits(const std::uint8_t* pdu, std::uint8_t function) {
    const std::uint16_t address = u16(pdu + 1);
    std::vector<bool> values;
    if (function == kWriteSingleCoil) {
        const std::uint16_t v = u16(pdu + 3);
        if (v != 0xFF00 && v != 0x0000) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
        values.push_back(v == 0xFF00);
    } else {
        const std::uint16_t count = u16(pdu + 3);
        if (count < 1 || count > MODBUS_MAX_WRITE_BITS || pdu[5] != (count + 7) / 8)
            throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
        for (std::uint16_t i = 0; i < count; ++i) values.push_back(((pdu[6 + i / 8] >> (i % 8)) & 1) != 0);
    }
    const auto entries = covering(Table::Coil, address, static_cast<std::uint32_t>(values.size()));
    for (const Entry* e : entries) check_writable(*e);
    for (const Entry* e : entries)
        if (forced(*e)) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
    for (const Entry* e : entries) write_cur(program_->session.block(), e->cell, Value(bool(values[e->address - address])));
}

void Server::write_registers(const std::uint8_t* pdu, std::uint8_t function) {
    const std::uint16_t address = u16(pdu + 1);
    std::vector<std::uint16_t> words;
    if (function == kWriteSingleRegister) {
        words.push_back(u16(pdu + 3));
    } else {
        const std::uint16_t count = u16(pdu + 3);
        if (count < 1 || count > MODBUS_MAX_WRITE_REGISTERS || pdu[5] != 2 * count)
            throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
        for (std::uint16_t i = 0; i < count; ++i) words.push_back(u16(pdu + 6 + 2 * i));
    }
    const auto count = static_cast<std::uint32_t>(words.size());
    const auto entries = covering(Table::HoldingRegister, address, count);
    // A value is written whole or not at all: a request that covers part of
    // one is refused before anything is written.
    for (const Entry* e : entries) {
        if (e->address < address || e->last() >= address + count) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS};
        check_writable(*e);
    }
    struct Pending {
        const Entry* entry;
        Value value;
        std::int32_t ticks = 0;
    };
    std::vector<Pending> pending;
    for (const Entry* e : entries) {
        if (forced(*e)) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
        const std::uint64_t bits = join(words.data() + (e->address - address), e->width, options_.low_word_first);
        switch (e->kind) {
            case Kind::Int: pending.push_back({e, Value(static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)))}); break;
            case Kind::Real: pending.push_back({e, Value(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))}); break;
            case Kind::Char:
                if (bits > 255) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
                pending.push_back({e, Value(static_cast<std::uint8_t>(bits))});
                break;
            case Kind::Status:
                if (std::find(std::begin(kStatusValues), std::end(kStatusValues), static_cast<int>(bits)) == std::end(kStatusValues))
                    throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
                pending.push_back({e, Value(static_cast<std::int32_t>(bits))});
                break;
            case Kind::Time: {
                const auto total = static_cast<std::int64_t>(bits);
                std::int64_t days = total / kTicksPerDay, ticks = total % kTicksPerDay;
                if (ticks < 0) {
                    ticks += kTicksPerDay;
                    --days;
                }
                if (days < INT32_MIN || days > INT32_MAX) throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
                pending.push_back({e, Value(static_cast<std::int32_t>(days)), static_cast<std::int32_t>(ticks)});
                break;
            }
            case Kind::Bool: throw Refusal{MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS};
        }
    }
    const BlockView& block = program_->session.block();
    for (const auto& p : pending) {
        if (p.entry->kind == Kind::Status) {
            program_->session.set_status(std::get<std::int32_t>(p.value));
            continue;
        }
        if (p.entry->ticks) write_cur(block, *p.entry->ticks, Value(p.ticks));
        write_cur(block, p.entry->cell, p.value);
    }
}

bool Server::try_attach() {
    try {
        Session s = Session::attach(attach_);
        const std::int32_t pid = s.pid();
        // Ready once the program runs and has published its signature, the
        // last thing its start-up writes.
        if (pid == 0 || !s.alive() || cur(s.int_cell(cells::signature)) == 0) return false;
        const SymbolTable& symbols = s.require_symbols();
        AddressMap map = options_.map_file
                             ? parse_map(read_text_file(*options_.map_file, "map file"), *options_.map_file, symbols,
                                         s.block().layout().count, options_.rules)
                             : default_map(symbols, options_.rules);
        out_ << "modbus: serving program " << symbols.program << " (process " << pid << ") on block \""
             << s.block_name() << "\", " << map.entries().size() << " variables mapped" << std::endl;
        program_.emplace(Program{std::move(s), std::move(map), pid});
        said_waiting_ = false;
        last_attach_error_.clear();
        return true;
    } catch (const Failure& e) {
        // Said once; the server goes on waiting for a program it can serve.
        if (e.what() != last_attach_error_) {
            last_attach_error_ = e.what();
            if (said_waiting_) err_ << "vxctl: " << e.what() << std::endl;
        }
        return false;
    }
}

void Server::look_after_program() {
    if (program_) {
        // The process id in the block is cleared by a program that ends; one
        // that was killed is seen gone at the next look at the process.
        if (program_->session.pid() == program_->pid) {
            if (Clock::now() < next_life_check_) return;
            next_life_check_ = Clock::now() + std::chrono::milliseconds(kPollMs);
            if (platform::process_exists(program_->pid)) return;
        }
        out_ << "modbus: the program ended; requests get the gateway exception until a program lays out block \""
             << attach_.block << "\" again" << std::endl;
        program_.reset();  // leaves the block, so that the next program starts on a fresh one
        said_waiting_ = true;
        return;
    }
    if (Clock::now() < next_attach_) return;
    next_attach_ = Clock::now() + kAttachRetry;
    if (!try_attach() && !said_waiting_) {
        out_ << "modbus: waiting for a program on block \"" << attach_.block << "\"";
        if (!last_attach_error_.empty()) out_ << " (" << last_attach_error_ << ")";
        out_ << std::endl;
        said_waiting_ = true;
    }
}

// Whether the client's next frame has come whole. libmodbus reads a frame
// in one call and waits for bytes that are missing, which would keep every
// other client waiting behind a slow one: so the frame is handed to it only
// once all the bytes that its transport header announces are there. The
// header's length also caps the frame: more than a PDU of 253 bytes and the
// unit id is refused.
enum class Arrival { Whole, Partial, TooLong };

Arrival arrival(int fd) {
    std::uint8_t head[6];
    const ssize_t n = ::recv(fd, head, sizeof head, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return Arrival::Whole;  // closed: libmodbus says so
    if (n < static_cast<ssize_t>(sizeof head)) return Arrival::Partial;
    const int length = u16(head + 4);
    if (length < 2 || length > MODBUS_MAX_PDU_LENGTH + 1) return Arrival::TooLong;
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0) return Arrival::Whole;
    return waiting >= 6 + length ? Arrival::Whole : Arrival::Partial;
}

int Server::run() {
    scratch_.reset(modbus_mapping_new(kAddresses, kAddresses, kAddresses, kAddresses));
    if (!scratch_) {
        err_ << "vxctl: out of memory for the Modbus tables\n";
        return 1;
    }
    // A map file that the first program refuses ends the server at once:
    // the user has a line to mend.
    if (options_.map_file) {
        try {
            Session s = Session::attach(attach_);
            if (const SymbolTable* symbols = s.symbols())
                parse_map(read_text_file(*options_.map_file, "map file"), *options_.map_file, *symbols,
                          s.block().layout().count, options_.rules);
        } catch (const Failure& e) {
            const std::string what = e.what();
            if (what.starts_with(*options_.map_file)) {
                err_ << "vxctl: " << what << "\n";
                return 1;
            }
        }
    }
    if (!listen()) return 1;
    platform::install_ending_signals();
    out_ << "modbus: listening on " << options_.address << ":" << options_.port << " (at most " << options_.max_clients
         << " clients; writes: " << (options_.read_only ? "none" : options_.rules.write_outputs ? "inputs and outputs" : "inputs")
         << (options_.rules.control && !options_.read_only ? ", control register" : "") << ")" << std::endl;

    std::vector<pollfd> fds;
    while (!platform::ending_signalled()) {
        look_after_program();
        // Clients with part of a frame are looked at again at a quick pace
        // rather than polled: their socket reads as ready all the while.
        fds.assign(1, pollfd{listen_fd_, POLLIN, 0});
        std::vector<std::size_t> polled;
        bool partial = false;
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            if (clients_[i].partial_since) {
                partial = true;
            } else {
                fds.push_back({clients_[i].fd, POLLIN, 0});
                polled.push_back(i);
            }
        }
        const int ready = ::poll(fds.data(), fds.size(), partial ? kPartialPollMs : kPollMs);
        if (ready < 0 && errno != EINTR) {
            err_ << "vxctl: poll: " << std::strerror(errno) << "\n";
            return 1;
        }
        const auto now = Clock::now();
        std::vector<bool> drop(clients_.size(), false), look(clients_.size(), false);
        for (std::size_t k = 0; ready > 0 && k < polled.size(); ++k)
            look[polled[k]] = (fds[k + 1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            Client& c = clients_[i];
            if (!look[i] && !c.partial_since) continue;
            switch (arrival(c.fd)) {
                case Arrival::Whole:
                    c.partial_since.reset();
                    drop[i] = !serve_one(c);
                    break;
                case Arrival::Partial:
                    if (!c.partial_since) c.partial_since = now;
                    drop[i] = now - *c.partial_since > kFrameTimeout;
                    break;
                case Arrival::TooLong: drop[i] = true; break;
            }
        }
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            if (options_.idle_seconds > 0 && now - clients_[i].last > std::chrono::seconds(options_.idle_seconds)) drop[i] = true;
        }
        for (std::size_t i = clients_.size(); i-- > 0;) {
            if (drop[i]) clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            // Every connection that waits, so that a burst of clients is
            // answered (or refused) at once rather than one per pass.
            pollfd listener{listen_fd_, POLLIN, 0};
            do accept_client();
            while (::poll(&listener, 1, 0) > 0 && (listener.revents & POLLIN));
        }
    }
    clients_.clear();
    out_ << "modbus: ended; " << requests_ << " requests from " << accepted_ << " clients (" << refused_
         << " refused for the client limit)" << std::endl;
    return 0;
}

}  // namespace

void parse_listen(std::string_view text, ServerOptions& options) {
    const auto colon = text.rfind(':');
    auto bad = [&](const std::string& why) { return Failure("--listen " + std::string(text) + ": " + why); };
    if (colon == std::string_view::npos) throw bad("write ADDR:PORT, for example 127.0.0.1:1502");
    const std::string_view address = text.substr(0, colon), port = text.substr(colon + 1);
    int parts = 0;
    for (std::string_view rest = address;; ++parts) {
        const auto dot = rest.find('.');
        const std::string_view part = rest.substr(0, dot);
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || part.size() > 3 || ec != std::errc() || end != part.data() + part.size() || value > 255)
            throw bad("the address must be a numeric IPv4 address such as 127.0.0.1 or 0.0.0.0");
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    if (parts != 3) throw bad("the address must be a numeric IPv4 address such as 127.0.0.1 or 0.0.0.0");
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
        throw bad("the port must be a number from 1 to 65535");
    options.address = std::string(address);
    options.port = static_cast<std::uint16_t>(value);
}

void print_map(const AttachOptions& attach, const ServerOptions& options, std::ostream& out) {
    std::optional<Session> session;
    std::optional<SymbolTable> symbols;
    if (attach.symbols) {
        symbols = load_symbols(*attach.symbols);
    } else {
        session.emplace(Session::attach(attach));
        symbols = session->require_symbols();
    }
    const AddressMap map =
        options.map_file ? parse_map(read_text_file(*options.map_file, "map file"), *options.map_file, *symbols,
                                     session ? session->block().layout().count : symbols->counts, options.rules)
                         : default_map(*symbols, options.rules);
    out << format_map(map);
}

int serve(const AttachOptions& attach, const ServerOptions& options, std::ostream& out, std::ostream& err) {
    return Server(attach, options, out, err).run();
}

}  // namespace vx::console::modbus
