// vxctl web: a live view of a controller program in the browser, served by
// the console as one more participant of the block. The controller never
// waits for a viewer: one sampler reads the block at most 25 times a second
// and every viewer gets what changed through its own event stream.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "vx/console/session.hpp"

namespace vx::console {

struct WebOptions {
    std::string host = "127.0.0.1";  // the address to listen on
    int port = 8080;                 // 0: any free port (tests)
    bool read_only = false;          // no endpoint that writes
    std::string token;               // empty: a fresh random one
};

// "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:80": the address and the port; a
// Failure for anything else.
WebOptions parse_listen(const std::string& text);

// Whether a request's Host header names the server: the listen address
// itself with its port; on loopback also localhost; on a wildcard address
// (0.0.0.0, ::) any address literal, since the machine's own addresses are
// not known here and a literal cannot be a name that another site rebinds.
bool host_allowed(const std::string& listen_host, int port, const std::string& host);

class WebServer {
public:
    WebServer(AttachOptions attach, WebOptions options);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Binds the listening socket (a Failure when it cannot) and serves in
    // threads of its own until stop().
    void start();
    void stop();
    // Serves until a signal (SIGINT, SIGTERM, SIGHUP) arrives.
    void wait_for_signal();

    int port() const;
    // Event streams open now.
    int viewers() const;
    const std::string& token() const;
    // The address to open: the listen address with the token in the
    // fragment, which the browser keeps to itself (no log, no Referer).
    std::string url() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The whole command: prints the URL on `out` and serves until a signal.
int run_web(const AttachOptions& attach, const WebOptions& options, std::ostream& out);

}  // namespace vx::console
