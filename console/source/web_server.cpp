#include <arpa/inet.h>
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <iomanip>
#include <ostream>
#include <random>
#include <sstream>
#include <thread>

#include "vx/console/commands.hpp"
#include "vx/console/web.hpp"
#include "vx/console/web_assets.hpp"
#include "vx/console/web_state.hpp"
#include "vx_runtime.h"

namespace vx::console {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// At most 25 updates a second.
constexpr auto kSamplePeriod = 40ms;
// While nothing is attached, how often the block is looked for.
constexpr auto kAttachRetry = 250ms;
// Caps: viewers at once, a request's body and its target (path and query).
constexpr int kMaxViewers = 16;
constexpr int kRequestThreads = 24;
constexpr std::size_t kMaxBody = 4096;
constexpr std::size_t kMaxTarget = 1024;
// A viewer that has not taken this many updates (10 s of them), or whose
// socket takes no data for this long, is dropped.
constexpr std::size_t kBacklog = 250;
constexpr auto kWriteTimeout = 2s;
// Small send buffers, so that a stalled viewer's socket fills within seconds
// and the write timeout drops it: a normal viewer never has this much in
// flight.
constexpr int kSendBuffer = 32 * 1024;
// An event stream says something at least this often, so that a viewer that
// went away is noticed.
constexpr auto kKeepAlive = 10s;

constexpr const char* kTokenHeader = "X-VX-Token";
constexpr const char* kJson = "application/json";

std::string random_token() {
    std::random_device device;
    std::ostringstream text;
    for (int i = 0; i < 4; ++i) text << std::hex << std::setw(8) << std::setfill('0') << device();
    return text.str();
}

// Compares in time independent of where the texts differ.
bool same_secret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool is_loopback(const std::string& host) { return host == "127.0.0.1" || host == "::1" || host == "localhost"; }

bool is_wildcard(const std::string& host) { return host == "0.0.0.0" || host == "::"; }

// An address written as digits ("192.0.2.7", "[2001:db8::1]"): no name that
// another site could have resolve to this machine.
bool is_address_literal(std::string host) {
    unsigned char buffer[sizeof(in6_addr)];
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return ::inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), buffer) == 1;
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1;
}

// An httplib route for exactly `path` (routes are regular expressions).
std::string exact_route(std::string_view path) {
    std::string pattern;
    for (const char c : path) {
        if (std::string_view(".[]{}()*+?^$|\\").find(c) != std::string_view::npos) pattern += '\\';
        pattern += c;
    }
    return pattern;
}

void reply(httplib::Response& res, int status, const Json& body) {
    res.status = status;
    res.set_content(body.dump(), kJson);
}

void refuse(httplib::Response& res, int status, const std::string& why) { reply(res, status, {{"error", why}}); }

// The updates for the viewers: a numbered list of event texts, the oldest
// dropped past kBacklog.
class Broadcast {
public:
    struct Cursor {
        std::uint64_t next = 0;
    };

    void publish(std::string event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
            ++end_;
            if (events_.size() > kBacklog) events_.pop_front();
        }
        changed_.notify_all();
    }

    std::uint64_t end() const {
        std::lock_guard lock(mutex_);
        return end_;
    }

    // Waits up to `timeout` for events after `cursor`; false when the viewer
    // has fallen behind the backlog.
    bool take(Cursor& cursor, std::string& out, std::chrono::milliseconds timeout, const std::atomic<bool>& stopping) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return end_ > cursor.next || stopping.load(); });
        const std::uint64_t begin = end_ - events_.size();
        if (cursor.next < begin) return false;
        for (; cursor.next < end_; ++cursor.next) out += events_[static_cast<std::size_t>(cursor.next - begin)];
        return true;
    }

    void wake() { changed_.notify_all(); }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> events_;
    std::uint64_t end_ = 0;
};

std::string sse(const char* event, const Json& data) { return std::string("event: ") + event + "\ndata: " + data.dump() + "\n\n"; }

}  // namespace

bool host_allowed(const std::string& listen_host, int port, const std::string& host) {
    const std::string suffix = ":" + std::to_string(port);
    if (!host.ends_with(suffix)) return false;
    const std::string name = host.substr(0, host.size() - suffix.size());
    const bool v6 = listen_host.find(':') != std::string::npos;
    if (name == (v6 ? "[" + listen_host + "]" : listen_host)) return true;
    if (is_loopback(listen_host)) return name == "localhost";
    return is_wildcard(listen_host) && is_address_literal(name);
}

WebOptions parse_listen(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        throw Failure("--listen takes ADDRESS:PORT, for example 127.0.0.1:8080, not '" + text + "'");
    WebOptions o;
    o.host = text.substr(0, colon);
    if (o.host.size() > 2 && o.host.front() == '[' && o.host.back() == ']') o.host = o.host.substr(1, o.host.size() - 2);
    const std::string port = text.substr(colon + 1);
    if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(port) > 65535)
        throw Failure("the port in --listen " + text + " is not a number from 0 to 65535");
    o.port = std::stoi(port);
    if (o.host.empty() || o.host.find_first_of("/ ") != std::string::npos)
        throw Failure("the address in --listen " + text + " is not an address");
    return o;
}

struct WebServer::Impl {
    AttachOptions attach;
    WebOptions options;
    BlockLink link;
    httplib::Server server;
    std::thread listener;
    std::thread sampler;
    std::atomic<bool> stopping{false};
    std::atomic<int> viewers{0};
    Broadcast broadcast;
    std::mutex frame_mutex;
    Frame frame;  // what the viewers were last sent
    std::uint64_t frame_generation = 0;

    Impl(AttachOptions a, WebOptions o) : attach(std::move(a)), options(std::move(o)), link(attach) {}

    std::string listen_text(int port) const {
        const bool v6 = options.host.find(':') != std::string::npos;
        return (v6 ? "[" + options.host + "]" : options.host) + ":" + std::to_string(port);
    }

    // The state now; only `s.attached` while there is nothing to show.
    Frame current_frame() {
        const auto session = link.session();
        if (!session) return Frame{{"s.attached", false}};
        try {
            return read_frame(*session);
        } catch (const Failure&) {
            return Frame{{"s.attached", false}};
        }
    }

    void sample_loop() {
        auto next_attach = Clock::now();
        while (!stopping) {
            const auto started = Clock::now();
            if (link.session() || started >= next_attach) {
                link.refresh();
                next_attach = started + kAttachRetry;
            }
            if (viewers > 0) publish_changes();
            std::this_thread::sleep_until(started + kSamplePeriod);
        }
        broadcast.wake();
    }

    void publish_changes() {
        const std::uint64_t generation = link.generation();
        Frame now = current_frame();
        std::lock_guard lock(frame_mutex);
        if (generation != frame_generation) {
            // Another program (or the first one): the viewers fetch its
            // description again and take the whole state.
            frame_generation = generation;
            frame = std::move(now);
            broadcast.publish(sse("program", {{"generation", generation}, {"state", frame_json(frame)}}));
            return;
        }
        Json delta = frame_delta(frame, now);
        if (delta.empty()) return;
        frame = std::move(now);
        broadcast.publish(sse("delta", delta));
    }

    bool writes_allowed(const httplib::Request& req, httplib::Response& res) const {
        if (!same_secret(req.get_header_value(kTokenHeader), options.token)) {
            refuse(res, 403, "this request writes: send the session token that vxctl web printed, in the X-VX-Token header");
            return false;
        }
        return true;
    }

    // The JSON object of a request body, or a 400.
    static std::optional<Json> body_of(const httplib::Request& req, httplib::Response& res) {
        Json body = Json::parse(req.body, nullptr, false);
        if (body.is_discarded() || !body.is_object()) {
            refuse(res, 400, "the request body is not a JSON object");
            return std::nullopt;
        }
        return body;
    }

    static std::string text_field(const Json& body, const char* key) {
        const auto it = body.find(key);
        if (it == body.end()) throw Failure(std::string("the request names no ") + key);
        if (it->is_string()) return it->get<std::string>();
        if (it->is_number() || it->is_boolean()) return it->dump();
        throw Failure(std::string("'") + key + "' must be a string or a number");
    }

    // A writing endpoint: token checked, body parsed, the session's Failure
    // as a 400 (the block is left unchanged by a refused command).
    template <class F> void writer(const char* path, F action) {
        server.Post(path, [this, action](const httplib::Request& req, httplib::Response& res) {
            if (!writes_allowed(req, res)) return;
            const auto body = body_of(req, res);
            if (!body) return;
            const auto session = link.session();
            if (!session) return refuse(res, 409, "no program has laid out shared block \"" + attach.block + "\"");
            try {
                std::ostringstream out;
                action(*session, *body, out);
                reply(res, 200, {{"ok", true}, {"message", out.str()}});
            } catch (const Failure& e) {
                refuse(res, 400, e.what());
            }
        });
    }

    void routes() {
        server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            // A page of another site that has its name resolve to this
            // address sends its own name as Host: refused.
            if (!host_allowed(options.host, options.port, req.get_header_value("Host"))) {
                refuse(res, 421, "the Host header does not name the address vxctl web listens on");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (req.target.size() > kMaxTarget) {
                refuse(res, 414, "the request's path and query are too long");
                return httplib::Server::HandlerResponse::Handled;
            }
            res.set_header("Cache-Control", "no-store");
            res.set_header("X-Content-Type-Options", "nosniff");
            res.set_header("X-Frame-Options", "DENY");
            res.set_header("Content-Security-Policy",
                           "default-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; frame-ancestors 'none'");
            res.set_header("Referrer-Policy", "no-referrer");
            return httplib::Server::HandlerResponse::Unhandled;
        });
        for (const WebAsset& asset : web_assets()) {
            server.Get(exact_route(asset.path), [&asset](const httplib::Request&, httplib::Response& res) {
                res.set_content(asset.body.data(), asset.body.size(), std::string(asset.type).c_str());
            });
        }
        server.Get("/api/program", [this](const httplib::Request&, httplib::Response& res) {
            const auto session = link.refresh();
            Json p = session ? program_json(*session) : Json{{"block", attach.block}, {"program", nullptr}};
            p["generation"] = link.generation();
            p["read_only"] = options.read_only;
            reply(res, 200, p);
        });
        server.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
            reply(res, 200, frame_json(current_frame()));
        });
        server.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) { events(res); });
        if (options.read_only) return;
        writer("/api/control", [](const Session& s, const Json& body, std::ostream& out) {
            const std::string command = text_field(body, "command");
            if (command == "step") return step(s, 1, out);
            static constexpr std::pair<const char*, std::int32_t> kCommands[] = {
                {"run", RUN}, {"stop", STOP}, {"end", END}};
            for (const auto& [name, status] : kCommands)
                if (command == name) return command_status(s, status, out);
            throw Failure("unknown command '" + command + "': run, stop, step or end");
        });
        writer("/api/set", [](const Session& s, const Json& body, std::ostream&) {
            set(s, {text_field(body, "name") + "=" + text_field(body, "value")});
        });
        writer("/api/force", [](const Session& s, const Json& body, std::ostream&) {
            force(s, {text_field(body, "name") + "=" + text_field(body, "value")});
        });
        writer("/api/unforce", [](const Session& s, const Json& body, std::ostream& out) {
            unforce(s, {text_field(body, "name")}, false, out);
        });
    }

    void events(httplib::Response& res) {
        if (viewers.fetch_add(1) >= kMaxViewers) {
            viewers.fetch_sub(1);
            return refuse(res, 503, "too many viewers (at most 16 at once)");
        }
        // The whole state first, then what changed from there on.
        auto cursor = std::make_shared<Broadcast::Cursor>();
        std::string first;
        {
            std::lock_guard lock(frame_mutex);
            // The first viewer after none: the frame was not kept up.
            if (frame.empty() || viewers == 1) {
                frame_generation = link.generation();
                frame = current_frame();
            }
            first = sse("program", {{"generation", frame_generation}, {"state", frame_json(frame)}});
            cursor->next = broadcast.end();
        }
        auto pending = std::make_shared<std::string>(std::move(first));
        res.set_header("X-Accel-Buffering", "no");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, cursor, pending](std::size_t, httplib::DataSink& sink) {
                auto last_said = Clock::now();
                while (!stopping) {
                    if (!pending->empty()) {
                        if (!sink.write(pending->data(), pending->size())) return false;
                        pending->clear();
                        last_said = Clock::now();
                    }
                    if (!broadcast.take(*cursor, *pending, 500ms, stopping)) return false;  // fell behind: dropped
                    if (pending->empty() && Clock::now() - last_said > kKeepAlive) *pending = ": still here\n\n";
                }
                return false;
            },
            [this](bool) { viewers.fetch_sub(1); });
    }
};

WebServer::WebServer(AttachOptions attach, WebOptions options)
    : impl_(std::make_unique<Impl>(std::move(attach), std::move(options))) {
    if (impl_->options.token.empty()) impl_->options.token = random_token();
}

WebServer::~WebServer() { stop(); }

void WebServer::start() {
    Impl& m = *impl_;
    // Each event stream holds a thread, and so does each kept-alive
    // connection while it waits for its next request: enough threads for
    // the viewers' streams and for several browsers' other connections,
    // which are let go after a second of silence.
    m.server.new_task_queue = [] { return new httplib::ThreadPool(kMaxViewers + kRequestThreads); };
    m.server.set_keep_alive_timeout(1);
    m.server.set_payload_max_length(kMaxBody);
    m.server.set_socket_options([](int sock) {
        const int yes = 1, size = kSendBuffer;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        ::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    });
    m.server.set_write_timeout(std::chrono::duration_cast<std::chrono::seconds>(kWriteTimeout).count(), 0);
    m.server.set_read_timeout(5, 0);
    m.routes();
    int port = m.options.port;
    if (port == 0) {
        port = m.server.bind_to_any_port(m.options.host);
        if (port < 0) throw Failure("cannot listen on " + m.options.host);
    } else if (!m.server.bind_to_port(m.options.host, port)) {
        throw Failure("cannot listen on " + m.listen_text(port) + " (in use, or not an address of this machine)");
    }
    m.options.port = port;
    m.link.refresh();
    m.sampler = std::thread([&m] { m.sample_loop(); });
    m.listener = std::thread([&m] { m.server.listen_after_bind(); });
    // Serving once start() returns, so that a stop() right after it finds a
    // server to stop.
    const auto deadline = Clock::now() + 5s;
    while (!m.server.is_running() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
}

void WebServer::stop() {
    Impl& m = *impl_;
    if (m.stopping.exchange(true)) return;
    m.broadcast.wake();
    if (m.sampler.joinable()) m.sampler.join();
    m.server.stop();
    if (m.listener.joinable()) m.listener.join();
}

void WebServer::wait_for_signal() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    int signal = 0;
    sigwait(&set, &signal);
}

int WebServer::port() const { return impl_->options.port; }
int WebServer::viewers() const { return impl_->viewers.load(); }
const std::string& WebServer::token() const { return impl_->options.token; }

std::string WebServer::url() const {
    return "http://" + impl_->listen_text(port()) + "/#token=" + impl_->options.token;
}

int run_web(const AttachOptions& attach, const WebOptions& options, std::ostream& out) {
    // The signals are taken by wait_for_signal alone: every thread started
    // from here on inherits the mask.
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    WebServer server(attach, options);
    server.start();
    if (!is_loopback(options.host))
        out << "warning: listening on " << options.host << ", not on this machine's loopback: anyone who can reach it sees the program\n";
    if (options.read_only)
        out << "serving shared block \"" << attach.block << "\" read-only at http://" << server.url().substr(7, server.url().find('/', 7) - 7) << "/\n";
    else
        out << "serving shared block \"" << attach.block << "\" at " << server.url() << "\n";
    out << "(Ctrl-C ends)" << std::endl;
    server.wait_for_signal();
    server.stop();
    out << "stopped\n";
    return 0;
}

}  // namespace vx::console
