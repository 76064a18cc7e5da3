// vxctl web's HTTP API and event stream against a running conveyor, with
// httplib's client: every endpoint and every refusal in one table, then the
// stream (whole state first, only changes after, at most 25 a second, a
// stalled viewer dropped while another keeps its pace, a program that ends
// and one that lays the block out again).
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <sstream>
#include <thread>

#include "vx/console/commands.hpp"
#include "vx/console/web.hpp"
#include "vx/console/web_state.hpp"
#include "vxctl.hpp"

namespace vx::console::testing {
namespace {

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

std::unique_ptr<Program> start_conveyor(const std::string& block = {}) {
    ProgramOptions options;
    options.executable = program_path("conveyor");
    if (!block.empty()) options.block_name = block;
    auto p = std::make_unique<Program>(options);
    p->start();
    if (!p->attach()) ADD_FAILURE() << p->out() << p->err();
    return p;
}

void end_program(Program& p) {
    if (!p.running()) return;
    p.set_status(END);
    p.wait_exit();
}

// A running conveyor (in STOP) and two servers on it: one that writes, one
// read-only.
class WebApi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (program_path("conveyor").empty()) return;
        program_ = start_conveyor().release();
        for (const bool read_only : {false, true}) {
            auto& server = read_only ? read_only_ : server_;
            server = new WebServer({program_->block_name(), std::nullopt}, {"127.0.0.1", 0, read_only, kToken});
            server->start();
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        delete read_only_;
        server_ = read_only_ = nullptr;
        if (program_) end_program(*program_);
        delete program_;
        program_ = nullptr;
    }
    void SetUp() override {
        if (!program_) GTEST_SKIP() << "the conveyor is not built";
        session_ = std::make_unique<Session>(Session::attach({program_->block_name(), std::nullopt}));
        std::ostringstream ignored;
        unforce(*session_, {}, true, ignored);
        set(*session_, {"hold=0"});
    }

    static Program* program_;
    static WebServer* server_;
    static WebServer* read_only_;
    std::unique_ptr<Session> session_;
};
Program* WebApi::program_ = nullptr;
WebServer* WebApi::server_ = nullptr;
WebServer* WebApi::read_only_ = nullptr;

struct Endpoint {
    const char* what;
    bool read_only_server;
    const char* method;
    std::string path;
    std::string body;
    const char* token;  // nullptr: no X-VX-Token header
    const char* host;   // nullptr: the listen address
    int status;
    const char* answer;  // a part of the answer's body
};

const Endpoint kEndpoints[] = {
    {"the page", false, "GET", "/", "", nullptr, nullptr, 200, "<svg id=\"chart\""},
    {"its script", false, "GET", "/app.js", "", nullptr, nullptr, 200, "EventSource"},
    {"no file from disk", false, "GET", "/CMakeLists.txt", "", nullptr, nullptr, 404, ""},
    {"no path out of the assets", false, "GET", "/../../etc/passwd", "", nullptr, nullptr, 404, ""},
    {"the description", false, "GET", "/api/program", "", nullptr, nullptr, 200, "\"receptivity\":\"not hold\""},
    {"the state", false, "GET", "/api/state", "", nullptr, nullptr, 200, "\"s.status\":\"STOP\""},
    {"localhost names loopback too", false, "GET", "/api/state", "", nullptr, "localhost", 200, "\"v.hold\":0"},
    {"another Host (DNS rebinding)", false, "GET", "/api/state", "", nullptr, "rebind.example", 421, "Host header"},
    {"another Host, with the token", false, "POST", "/api/set", R"({"name":"hold","value":1})", kToken, "rebind.example", 421, "Host"},
    {"a query too long", false, "GET", "/api/state?" + std::string(2000, 'q'), "", nullptr, nullptr, 414, "too long"},
    {"set without token", false, "POST", "/api/set", R"({"name":"hold","value":"1"})", nullptr, nullptr, 403, "session token"},
    {"set with a wrong token", false, "POST", "/api/set", R"({"name":"hold","value":"1"})", "0123456789abcdef0123456789abcdee", nullptr, 403, "session token"},
    {"set", false, "POST", "/api/set", R"({"name":"hold","value":"1"})", kToken, nullptr, 200, "\"ok\":true"},
    {"set a number", false, "POST", "/api/set", R"({"name":"batch.CV","value":3})", kToken, nullptr, 200, "\"ok\":true"},
    {"set an unknown variable", false, "POST", "/api/set", R"({"name":"hodl","value":"1"})", kToken, nullptr, 400, "unknown variable 'hodl' (did you mean hold?)"},
    {"set a bad value", false, "POST", "/api/set", R"({"name":"hold","value":"7"})", kToken, nullptr, 400, "hold (B5)"},
    {"set without a value", false, "POST", "/api/set", R"({"name":"hold"})", kToken, nullptr, 400, "names no value"},
    {"a body that is not JSON", false, "POST", "/api/set", "hold=1", kToken, nullptr, 400, "not a JSON object"},
    {"a body too large", false, "POST", "/api/set", std::string(8192, ' '), kToken, nullptr, 413, ""},
    {"force", false, "POST", "/api/force", R"({"name":"belt_on","value":"0"})", kToken, nullptr, 200, "\"ok\":true"},
    {"force without token", false, "POST", "/api/force", R"({"name":"belt_on","value":"0"})", nullptr, nullptr, 403, "token"},
    {"unforce what is not forced", false, "POST", "/api/unforce", R"({"name":"belt_on"})", kToken, nullptr, 200, "was not forced"},
    {"an unknown command", false, "POST", "/api/control", R"({"command":"jump"})", kToken, nullptr, 400, "unknown command 'jump'"},
    {"control without token", false, "POST", "/api/control", R"({"command":"run"})", nullptr, nullptr, 403, "token"},
    {"read-only: the state", true, "GET", "/api/state", "", nullptr, nullptr, 200, "\"s.attached\":true"},
    {"read-only: the description says so", true, "GET", "/api/program", "", nullptr, nullptr, 200, "\"read_only\":true"},
    {"read-only: no set", true, "POST", "/api/set", R"({"name":"hold","value":"1"})", kToken, nullptr, 404, ""},
    {"read-only: no force", true, "POST", "/api/force", R"({"name":"hold","value":"1"})", kToken, nullptr, 404, ""},
    {"read-only: no control", true, "POST", "/api/control", R"({"command":"end"})", kToken, nullptr, 404, ""},
};

class WebEndpoint : public WebApi, public ::testing::WithParamInterface<Endpoint> {};

TEST_P(WebEndpoint, AnswersOrRefuses) {
    const Endpoint& e = GetParam();
    const WebServer& server = e.read_only_server ? *read_only_ : *server_;
    httplib::Client client("127.0.0.1", server.port());
    httplib::Headers headers{{"Host", (e.host ? std::string(e.host) : "127.0.0.1") + ":" + std::to_string(server.port())}};
    if (e.token) headers.emplace("X-VX-Token", e.token);
    const auto res = std::string(e.method) == "GET" ? client.Get(e.path, headers)
                                                    : client.Post(e.path, headers, e.body, "application/json");
    ASSERT_TRUE(res) << e.what << ": " << httplib::to_string(res.error());
    EXPECT_EQ(res->status, e.status) << e.what << ": " << res->body;
    EXPECT_NE(res->body.find(e.answer), std::string::npos) << e.what << ": " << res->body;
}

INSTANTIATE_TEST_SUITE_P(Table, WebEndpoint, ::testing::ValuesIn(kEndpoints));

httplib::Result post(const WebServer& server, const std::string& path, const std::string& body) {
    httplib::Client client("127.0.0.1", server.port());
    return client.Post(path, {{"X-VX-Token", kToken}}, body, "application/json");
}

TEST_F(WebApi, WritesDoWhatTheConsoleDoes) {
    ASSERT_EQ(post(*server_, "/api/set", R"({"name":"hold","value":"1"})")->status, 200);
    EXPECT_EQ(get<bool>(read_cur(session_->block(), session_->resolve("hold"))), true);
    ASSERT_EQ(post(*server_, "/api/force", R"({"name":"hold","value":"0"})")->status, 200);
    EXPECT_TRUE(is_forced(session_->block(), session_->resolve("hold")));
    // A forced input refuses set, and the block is left as it was.
    const auto refused = post(*server_, "/api/set", R"({"name":"hold","value":"1"})");
    EXPECT_EQ(refused->status, 400);
    EXPECT_NE(refused->body.find("hold (B5) is forced"), std::string::npos) << refused->body;
    EXPECT_EQ(get<bool>(read_cur(session_->block(), session_->resolve("hold"))), false);
    ASSERT_EQ(post(*server_, "/api/unforce", R"({"name":"hold"})")->status, 200);
    EXPECT_FALSE(is_forced(session_->block(), session_->resolve("hold")));

    const std::int32_t before = session_->counter();
    const auto stepped = post(*server_, "/api/control", R"({"command":"step"})");
    ASSERT_EQ(stepped->status, 200) << stepped->body;
    EXPECT_EQ(session_->counter(), before + 1);
    EXPECT_NE(stepped->body.find("status STOP"), std::string::npos) << stepped->body;
}

// An event stream read in a thread of its own: the events as they came.
class Viewer {
public:
    explicit Viewer(int port) : client_("127.0.0.1", port) {
        thread_ = std::thread([this] {
            client_.Get("/api/events", [this](const char* data, std::size_t size) {
                std::lock_guard lock(mutex_);
                buffer_.append(data, size);
                for (std::size_t end; (end = buffer_.find("\n\n")) != std::string::npos; buffer_.erase(0, end + 2))
                    events_.push_back(buffer_.substr(0, end));
                return !done_;
            });
        });
    }
    ~Viewer() {
        done_ = true;
        client_.stop();
        thread_.join();
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::size_t count() const { return events().size(); }
    // The data of the event `k` of kind `kind`, parsed.
    static Json data(const std::string& event) { return Json::parse(event.substr(event.find("data: ") + 6)); }

private:
    httplib::Client client_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string buffer_;
    std::vector<std::string> events_;
    std::atomic<bool> done_{false};
};

TEST_F(WebApi, StreamSendsTheWholeStateThenOnlyChanges) {
    Viewer viewer(server_->port());
    ASSERT_TRUE(eventually([&] { return viewer.count() >= 1; }, 5s));
    const std::string first = viewer.events().front();
    ASSERT_TRUE(first.starts_with("event: program\n")) << first;
    const Json state = Viewer::data(first)["state"];
    EXPECT_EQ(state["s.status"], "STOP");
    EXPECT_EQ(state["v.X_1"], 1);
    EXPECT_TRUE(state.contains("o.belt"));

    const std::size_t seen = viewer.count();
    ASSERT_TRUE(session_->step_once());
    // A cycle may be sampled half-way: its changes then come in two updates.
    Json changes = Json::object();
    ASSERT_TRUE(eventually([&] {
        const auto events = viewer.events();
        changes = Json::object();
        for (std::size_t k = seen; k < events.size(); ++k) {
            EXPECT_TRUE(events[k].starts_with("event: delta\n")) << events[k];
            changes.update(Viewer::data(events[k]));
        }
        return changes.contains("s.counter");
    }, 5s));
    EXPECT_EQ(changes["s.counter"], session_->counter());
    EXPECT_FALSE(changes.contains("v.hold")) << changes;
    EXPECT_FALSE(changes.contains("o.belt")) << changes;
}

TEST_F(WebApi, AtMostTwentyFiveUpdatesASecondWhileRunning) {
    Viewer viewer(server_->port());
    ASSERT_TRUE(eventually([&] { return viewer.count() >= 1; }, 5s));
    program_->set_period(2000.0f);  // 500 cycles a second, every one a change
    session_->set_status(RUN);
    const std::size_t before = viewer.count();
    std::this_thread::sleep_for(1s);
    const std::size_t updates = viewer.count() - before;
    session_->stop_and_settle();
    program_->set_period(50000.0f);
    EXPECT_LE(updates, 27u);
    EXPECT_GE(updates, 10u);
}

TEST_F(WebApi, SixteenViewersAtOnceAndNoMore) {
    std::vector<std::unique_ptr<Viewer>> viewers;
    for (int k = 0; k < 16; ++k) viewers.push_back(std::make_unique<Viewer>(server_->port()));
    ASSERT_TRUE(eventually([&] { return server_->viewers() == 16; }, 5s)) << server_->viewers();
    httplib::Client client("127.0.0.1", server_->port());
    const auto refused = client.Get("/api/events");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    // The others are still served, and so are other requests.
    EXPECT_EQ(client.Get("/api/state")->status, 200);
    const std::size_t seen = viewers.back()->count();
    ASSERT_TRUE(session_->step_once());
    EXPECT_TRUE(eventually([&] { return viewers.back()->count() > seen; }, 5s));
    viewers.clear();
    EXPECT_TRUE(eventually([&] { return server_->viewers() == 0; }, 5s));
}

// A client that connects to the stream and never reads.
int stalled_viewer(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    const std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return -1;
    return fd;
}

TEST_F(WebApi, AStalledViewerIsDroppedWithoutSlowingTheOthers) {
    const int stalled = stalled_viewer(server_->port());
    ASSERT_GE(stalled, 0);
    Viewer viewer(server_->port());
    ASSERT_TRUE(eventually([&] { return server_->viewers() == 2; }, 5s));
    // Every cycle moves the boxes: a big change every update.
    program_->set_period(2000.0f);
    session_->set_status(RUN);
    std::vector<std::size_t> per_second;
    bool dropped = false;
    for (int s = 0; s < 15 && !dropped; ++s) {
        const std::size_t before = viewer.count();
        std::this_thread::sleep_for(1s);
        per_second.push_back(viewer.count() - before);
        dropped = server_->viewers() == 1;
    }
    session_->stop_and_settle();
    program_->set_period(50000.0f);
    ::close(stalled);
    EXPECT_TRUE(dropped) << "the stalled viewer is still served";
    for (const std::size_t n : per_second) EXPECT_GE(n, 10u) << "the other viewer was slowed";
}

TEST(WebFollow, ShowsTheEndAndFollowsTheNextProgramOnTheBlock) {
    if (program_path("conveyor").empty()) GTEST_SKIP() << "the conveyor is not built";
    auto first = start_conveyor();
    WebServer server({first->block_name(), std::nullopt}, {"127.0.0.1", 0, false, kToken});
    server.start();
    Viewer viewer(server.port());
    ASSERT_TRUE(eventually([&] { return viewer.count() >= 1; }, 5s));
    end_program(*first);
    auto saw = [&](const std::string& part) {
        for (const auto& e : viewer.events())
            if (e.find(part) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(eventually([&] { return saw("\"s.alive\":false"); }, 5s));
    // The block stays (the server holds it); a new program lays it out again.
    auto second = start_conveyor(first->block_name());
    EXPECT_TRUE(eventually([&] { return saw("\"generation\":2"); }, 5s));
    const auto events = viewer.events();
    EXPECT_EQ(Viewer::data(events.back())["state"]["s.pid"], second->pid()) << events.back();
    httplib::Client client("127.0.0.1", server.port());
    const auto program = client.Get("/api/program");
    ASSERT_TRUE(program);
    EXPECT_EQ(Json::parse(program->body)["generation"], 2);
    end_program(*second);
    server.stop();
}

}  // namespace
}  // namespace vx::console::testing
