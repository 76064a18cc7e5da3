// vxctl modbus against real controller programs, through libmodbus's own
// client: every function code and refusal, values that never tear, tarvo's
// lights driven over the network, bad clients, many clients, and a program
// that ends and starts again under a live server.
#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "vx/block.hpp"
#include "vxctl.hpp"

extern char** environ;

namespace vx::console::testing {
namespace {

const std::string kSymbols = std::string(CONSOLE_TEST_DIR) + "/modbus_testctl.vars";

// Addresses of the default map of modbus_testctl.vars (checked by
// DefaultMapOfTheTestController).
constexpr int kCoilInput = 0;          // input B5
constexpr int kDiscreteOutput = 0;     // output B6
constexpr int kHoldingControl = 0;     // with --control
constexpr int kHoldingResult = 100;    // result I524
constexpr int kHoldingSpeed = 112;     // speed F5
constexpr int kHoldingDelay = 114;     // delay (TIME, I100 and I101)
constexpr int kInputCounter = 2;       // posmxsimucounter
constexpr int kInputStatus = 0;        // execstatus

std::uint16_t next_port() {
    static std::atomic<int> serial{0};
    return static_cast<std::uint16_t>(20000 + (::getpid() * 13 + serial++ * 7919) % 40000);
}

struct ModbusFree {
    void operator()(modbus_t* ctx) const {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Client = std::unique_ptr<modbus_t, ModbusFree>;

// vxctl modbus on a program's block, ended with SIGTERM (and checked to end
// cleanly) at the end of the test.
class Server {
public:
    Server(const std::string& block, std::vector<std::string> extra, const std::string& symbols = kSymbols) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = next_port();
            std::vector<std::string> args{VXCTL, "--block", block};
            if (!symbols.empty()) args.insert(args.end(), {"--symbols", symbols});
            args.insert(args.end(), {"modbus", "--listen", "127.0.0.1:" + std::to_string(port_)});
            args.insert(args.end(), extra.begin(), extra.end());
            start(args);
            if (eventually([&] { return contains(out(), "listening on") || exited(); }, 10s) && !exited()) return;
        }
        ADD_FAILURE() << "the server did not start: " << err();
    }
    ~Server() {
        if (pid_ <= 0) return;
        if (!exited_) {
            ::kill(pid_, SIGTERM);
            EXPECT_TRUE(eventually([&] { return exited(); }, 10s)) << "the server did not end on SIGTERM";
            if (!exited_) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status_, 0);
            }
            EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0) << out() << err();
            EXPECT_TRUE(contains(out(), "modbus: ended;")) << out();
        }
    }
    std::uint16_t port() const { return port_; }
    std::string out() const { return read_file(dir_.file("out")); }
    std::string err() const { return read_file(dir_.file("err")); }
    bool exited() {
        if (!exited_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }

    // A libmodbus client connected to the server (none when refused).
    Client connect() const {
        Client c(modbus_new_tcp("127.0.0.1", port_));
        modbus_set_response_timeout(c.get(), 2, 0);
        if (modbus_connect(c.get()) != 0) return nullptr;
        return c;
    }

private:
    void start(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, dir_.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, dir_.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        exited_ = false;
        ASSERT_EQ(::posix_spawn(&pid_, VXCTL, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }

    TempDir dir_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
    std::uint16_t port_ = 0;
};

// The exception of the last failed call (0 when it succeeded).
int exception_of(int rc) {
    if (rc >= 0) return 0;
    return errno > MODBUS_ENOBASE && errno < MODBUS_ENOBASE + 0x20 ? errno - MODBUS_ENOBASE : -errno;
}

// A raw TCP connection, for what no well-behaved client sends.
class RawSocket {
public:
    explicit RawSocket(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        timeval tv{3, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~RawSocket() { close(); }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool connected() const { return connected_; }
    void send(const std::vector<std::uint8_t>& bytes) const { (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // What the server answers: bytes, or 0 bytes when it closed the connection.
    std::vector<std::uint8_t> receive() const {
        std::vector<std::uint8_t> buf(300);
        const ssize_t n = ::recv(fd_, buf.data(), buf.size(), 0);
        buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return buf;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

struct TestController : Controller {
    TestController() : Controller(TESTCTL, kSymbols) {}
};

TEST(Modbus, DefaultMapOfTheTestController) {
    TestController c;
    const Outcome r = c.run({"modbus", "--print-map", "--control"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"control,status,holding_register,0,1,rw\n", "input,bool,coil,0,1,rw\n",
                             "output,bool,discrete_input,0,1,r\n", "result,int,holding_register,100,2,rw\n",
                             "speed,real,holding_register,112,2,rw\n", "delay,time,holding_register,114,4,rw\n",
                             "execstatus,int,input_register,0,2,r\n", "posmxsimucounter,int,input_register,2,2,r\n"})
        EXPECT_TRUE(contains(r.out, line)) << line << r.out;
}

// One request and the exception it gets (0: served).
struct RequestCase {
    const char* what;
    int function;
    int address;
    std::vector<std::uint16_t> values;  // the count for a read, the values for a write
    int exception;
};

int send_request(modbus_t* ctx, const RequestCase& rc) {
    const auto address = rc.address;
    const int n = rc.values.empty() ? 0 : rc.values[0];
    std::vector<std::uint8_t> bits(2000);
    std::vector<std::uint16_t> regs(200);
    // Reads longer than a frame allows, which libmodbus's client refuses to
    // send, go raw.
    const bool too_long = (rc.function <= 0x02 && n > MODBUS_MAX_READ_BITS) || (rc.function <= 0x04 && n > MODBUS_MAX_READ_REGISTERS);
    std::vector<std::uint8_t> raw{0xFF, static_cast<std::uint8_t>(rc.function)};
    if (too_long) {
        raw.insert(raw.end(), {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
                               static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    } else {
        raw.insert(raw.end(), rc.values.begin(), rc.values.end());
    }
    switch (too_long ? 0 : rc.function) {
        case 0x01: return modbus_read_bits(ctx, address, n, bits.data());
        case 0x02: return modbus_read_input_bits(ctx, address, n, bits.data());
        case 0x03: return modbus_read_registers(ctx, address, n, regs.data());
        case 0x04: return modbus_read_input_registers(ctx, address, n, regs.data());
        case 0x05: return modbus_write_bit(ctx, address, n);
        case 0x06: return modbus_write_register(ctx, address, rc.values[0]);
        case 0x0F: {
            std::vector<std::uint8_t> b(rc.values.begin(), rc.values.end());
            return modbus_write_bits(ctx, address, static_cast<int>(b.size()), b.data());
        }
        case 0x10: return modbus_write_registers(ctx, address, static_cast<int>(rc.values.size()), rc.values.data());
        default: break;
    }
    // Functions the server does not serve, sent raw: unit, function, data;
    // the answer is an exception when its function has the top bit set.
    if (modbus_send_raw_request(ctx, raw.data(), static_cast<int>(raw.size())) < 0) return -1;
    std::uint8_t rsp[MODBUS_TCP_MAX_ADU_LENGTH];
    const int length = modbus_receive_confirmation(ctx, rsp);
    if (length < 9) return -1;
    if ((rsp[7] & 0x80) == 0) return length;
    errno = MODBUS_ENOBASE + rsp[8];
    return -1;
}

constexpr int kOk = 0, kFunction = MODBUS_EXCEPTION_ILLEGAL_FUNCTION, kAddress = MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS,
              kValue = MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;

const RequestCase kRequests[] = {
    {"read the input coil", 0x01, kCoilInput, {1}, kOk},
    {"read past the mapped coils", 0x01, kCoilInput, {2}, kAddress},
    {"read no coil", 0x01, kCoilInput, {0}, kValue},
    {"read more bits than a frame holds", 0x02, 0, {2001}, kValue},
    {"read the discrete inputs", 0x02, kDiscreteOutput, {2}, kOk},
    {"read an unmapped discrete input", 0x02, 5000, {1}, kAddress},
    {"read an int's two registers", 0x03, kHoldingResult, {2}, kOk},
    {"read the low word of an int alone", 0x03, kHoldingResult + 1, {1}, kOk},
    {"read the control register", 0x03, kHoldingControl, {1}, kOk},
    {"read a gap between maps", 0x03, 50, {1}, kAddress},
    {"read past the last holding register", 0x03, kHoldingDelay, {5}, kAddress},
    {"read 126 registers", 0x03, kHoldingResult, {126}, kValue},
    {"read the program's state", 0x04, 0, {12}, kOk},
    {"read past the state registers", 0x04, 0, {13}, kAddress},
    {"write the input coil", 0x05, kCoilInput, {1}, kOk},
    {"write an unmapped coil", 0x05, 7, {1}, kAddress},
    {"write an output's copy without --write-outputs", 0x05, 1000, {1}, kAddress},
    {"write the input coil with write-multiple", 0x0F, kCoilInput, {1}, kOk},
    {"write coils past the map", 0x0F, kCoilInput, {1, 0}, kAddress},
    {"write half of an int", 0x06, kHoldingResult, {7}, kAddress},
    {"write STOP to the control register", 0x06, kHoldingControl, {STOP}, kOk},
    {"write FREE to the control register", 0x06, kHoldingControl, {FREE}, kValue},
    {"write 9 to the control register", 0x06, kHoldingControl, {9}, kValue},
    {"write an int whole", 0x10, kHoldingResult, {0, 42}, kOk},
    {"write across the end of an int", 0x10, kHoldingResult + 1, {0, 42}, kAddress},
    {"write a REAL and a TIME at once", 0x10, kHoldingSpeed, {0x3FC0, 0, 0, 0, 0, 5}, kOk},
    {"write a TIME's first three registers", 0x10, kHoldingDelay, {0, 0, 1}, kAddress},
    {"read exception status", 0x07, 0, {}, kFunction},
    {"read/write multiple registers", 0x17, 0, {0, 100, 0, 2, 0, 100, 0, 1, 2, 0, 0}, kFunction},
    {"mask write register", 0x16, 0, {0, 0, 0xFF, 0xFF, 0, 0}, kFunction},
    {"an unknown function with data", 0x2B, 0, {0x0E, 1, 0}, kFunction},
    {"a read after the unknown function", 0x03, kHoldingResult, {2}, kOk},
};

class Requests : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        controller_ = new TestController();
        server_ = new Server(controller_->program().block_name(), {"--control"});
    }
    static void TearDownTestSuite() {
        delete server_;
        delete controller_;
    }
    static inline TestController* controller_ = nullptr;
    static inline Server* server_ = nullptr;
};

TEST_F(Requests, EachFunctionAndEachRefusal) {
    const Client c = server_->connect();
    ASSERT_TRUE(c);
    const Program& p = controller_->program();
    for (const auto& rc : kRequests) {
        // A refused request changes nothing in the block.
        const std::int32_t result = cur(p.i(524)), days = cur(p.i(100)), status = p.status();
        const float speed = cur(p.f(5));
        const bool input = cur(p.b(5));
        EXPECT_EQ(exception_of(send_request(c.get(), rc)), rc.exception) << rc.what;
        if (rc.exception != kOk) {
            EXPECT_EQ(cur(p.i(524)), result) << rc.what;
            EXPECT_EQ(cur(p.i(100)), days) << rc.what;
            EXPECT_EQ(cur(p.f(5)), speed) << rc.what;
            EXPECT_EQ(cur(p.b(5)), input) << rc.what;
            EXPECT_EQ(p.status(), status) << rc.what;
        }
    }
    // The writes that were served landed whole.
    EXPECT_EQ(cur(p.i(524)), 42);
    EXPECT_EQ(cur(p.f(5)), 1.5f);
    EXPECT_EQ(cur(p.i(100)), 0);
    EXPECT_EQ(cur(p.i(101)), 5);
    EXPECT_TRUE(cur(p.b(5)));
}

TEST_F(Requests, ValuesReadBackHighWordFirst) {
    const Client c = server_->connect();
    ASSERT_TRUE(c);
    const Program& p = controller_->program();
    set_cur(p.i(524), -2);
    set_cur(p.f(5), -0.5f);
    // TIME: 1 day and 3 ticks, minus nothing: 864000003 ticks.
    set_cur(p.i(100), 1);
    set_cur(p.i(101), 3);
    std::uint16_t regs[8] = {};
    ASSERT_EQ(modbus_read_registers(c.get(), kHoldingResult, 2, regs), 2);
    EXPECT_EQ(regs[0], 0xFFFF);
    EXPECT_EQ(regs[1], 0xFFFE);
    ASSERT_EQ(modbus_read_registers(c.get(), kHoldingSpeed, 6, regs), 6);
    EXPECT_EQ(regs[0], 0xBF00);
    EXPECT_EQ(regs[1], 0x0000);
    const std::uint64_t ticks = (std::uint64_t{regs[2]} << 48) | (std::uint64_t{regs[3]} << 32) | (std::uint64_t{regs[4]} << 16) | regs[5];
    EXPECT_EQ(ticks, 864000003u);
    ASSERT_EQ(modbus_read_input_registers(c.get(), kInputStatus, 2, regs), 2);
    EXPECT_EQ(regs[1], STOP);
    // A negative TIME goes into whole days and a positive tick count.
    const std::uint16_t minus_one[] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    ASSERT_EQ(modbus_write_registers(c.get(), kHoldingDelay, 4, minus_one), 4);
    EXPECT_EQ(cur(p.i(100)), -1);
    EXPECT_EQ(cur(p.i(101)), 863999999);
}

TEST_F(Requests, AForcedVariableIsRefusedAndKeepsItsValue) {
    const Client c = server_->connect();
    ASSERT_TRUE(c);
    ASSERT_EQ(controller_->run({"force", "result=9", "input=0"}).status, 0);
    const std::uint16_t v[] = {0, 1};
    EXPECT_EQ(exception_of(modbus_write_registers(c.get(), kHoldingResult, 2, v)), kValue);
    EXPECT_EQ(exception_of(modbus_write_bit(c.get(), kCoilInput, 1)), kValue);
    EXPECT_EQ(cur(controller_->program().i(524)), 9);
    EXPECT_FALSE(cur(controller_->program().b(5)));
    ASSERT_EQ(controller_->run({"unforce", "--all"}).status, 0);
    EXPECT_EQ(modbus_write_registers(c.get(), kHoldingResult, 2, v), 2);
    EXPECT_EQ(cur(controller_->program().i(524)), 1);
}

TEST_F(Requests, AReadNeverMixesTwoValues) {
    const Client c = server_->connect();
    ASSERT_TRUE(c);
    const Program& p = controller_->program();
    std::atomic<bool> done{false};
    set_cur(p.i(524), 0);
    // Both words change at every write: a torn read shows two different words.
    std::thread writer([&] {
        for (std::uint32_t k = 0; !done; ++k) set_cur(p.i(524), static_cast<std::int32_t>((k & 0xFFFF) * 0x10001u));
    });
    int torn = 0;
    for (int i = 0; i < 2000; ++i) {
        std::uint16_t regs[2] = {};
        ASSERT_EQ(modbus_read_registers(c.get(), kHoldingResult, 2, regs), 2);
        torn += regs[0] != regs[1];
    }
    done = true;
    writer.join();
    EXPECT_EQ(torn, 0);
}

TEST(Modbus, ReadOnlyRefusesEveryWriteAndStillReads) {
    TestController c;
    Server server(c.program().block_name(), {"--read-only", "--control"});
    const Client client = server.connect();
    ASSERT_TRUE(client);
    EXPECT_EQ(exception_of(modbus_write_bit(client.get(), kCoilInput, 1)), kFunction);
    EXPECT_EQ(exception_of(modbus_write_register(client.get(), kHoldingControl, RUN)), kFunction);
    std::uint8_t bit = 9;
    EXPECT_EQ(modbus_read_bits(client.get(), kCoilInput, 1, &bit), 1);
    EXPECT_EQ(bit, 0);
    EXPECT_EQ(c.program().status(), STOP);
}

TEST(Modbus, WriteOutputsOpensTheOutputsCopiesAndLowWordFirstSwapsWords) {
    TestController c;
    Server server(c.program().block_name(), {"--write-outputs", "--word-order", "low-first"});
    const Client client = server.connect();
    ASSERT_TRUE(client);
    EXPECT_EQ(modbus_write_bit(client.get(), 1000, 1), 1);  // output B6
    EXPECT_TRUE(cur(c.program().b(6)));
    set_cur(c.program().i(524), 0x00020001);
    std::uint16_t regs[2] = {};
    ASSERT_EQ(modbus_read_registers(client.get(), kHoldingResult, 2, regs), 2);
    EXPECT_EQ(regs[0], 1);
    EXPECT_EQ(regs[1], 2);
}

// Waits over Modbus until the program has run a cycle and is back in STOP.
bool step_over_modbus(modbus_t* ctx) {
    std::uint16_t before[2] = {}, now[4] = {};
    if (modbus_read_input_registers(ctx, kInputCounter, 2, before) != 2) return false;
    if (modbus_write_register(ctx, kHoldingControl, STEP) != 1) return false;
    return eventually([&] {
        return modbus_read_input_registers(ctx, kInputStatus, 4, now) == 4 && now[1] == STOP &&
               (now[2] != before[0] || now[3] != before[1]);
    });
}

TEST(Modbus, TarvoLightsDrivenOverModbus) {
    const std::string path = program_path("tarvo");
    if (path.empty()) GTEST_SKIP() << "tarvo is not built";
    // One cycle a second: tarvo's green lasts five cycles.
    Controller c(path, {}, 1e6f);
    Server server(c.program().block_name(), {"--control"}, "");
    const Client client = server.connect();
    ASSERT_TRUE(client);
    ASSERT_TRUE(eventually([&] { return contains(server.out(), "serving program tarvo"); }));
    auto lights = [&] {
        std::uint8_t bits[3] = {};  // vert, rouge, orange
        EXPECT_EQ(modbus_read_input_bits(client.get(), 0, 3, bits), 3);
        return std::string{char('0' + bits[0]), char('0' + bits[1]), char('0' + bits[2])};
    };
    ASSERT_EQ(modbus_write_bit(client.get(), 0, 1), 1);  // jour
    ASSERT_TRUE(step_over_modbus(client.get()));
    EXPECT_EQ(lights(), "100");
    int steps = 1;
    while (lights() == "100" && steps < 20) {
        ASSERT_TRUE(step_over_modbus(client.get()));
        ++steps;
    }
    EXPECT_EQ(lights(), "001") << "after " << steps << " cycles";
    EXPECT_GE(steps, 5);
}

TEST(Modbus, BadClientsCloseThemselvesOnlyAndTheOthersGoOn) {
    TestController c;
    Server server(c.program().block_name(), {});
    const Client good = server.connect();
    ASSERT_TRUE(good);
    auto good_reads = [&] {
        std::uint8_t bit = 0;
        return modbus_read_bits(good.get(), kCoilInput, 1, &bit) == 1;
    };
    const std::vector<std::uint8_t> read_coil{0, 1, 0, 0, 0, 6, 1, 0x01, 0, 0, 0, 1};
    struct Bad {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool answered;  // an exception answer rather than a closed connection
    };
    const Bad bads[] = {
        {"a truncated header", {0, 1, 0, 0}, false},
        {"half a request", {0, 1, 0, 0, 0, 6, 1, 0x01, 0}, false},
        {"a wrong protocol id", {0, 1, 0, 7, 0, 6, 1, 0x01, 0, 0, 0, 1}, false},
        {"a length that disagrees", {0, 1, 0, 0, 0, 9, 1, 0x01, 0, 0, 0, 1}, false},
        {"an unknown function", {0, 1, 0, 0, 0, 2, 1, 0x41}, true},
        {"a length past the frame cap", {0, 1, 0, 0, 1, 0, 1, 0x03, 0, 0, 0, 1}, false},
        {"a length shorter than the function needs", {0, 1, 0, 0, 0, 4, 1, 0x03, 0, 0}, false},
    };
    for (const Bad& b : bads) {
        RawSocket raw(server.port());
        ASSERT_TRUE(raw.connected());
        raw.send(b.bytes);
        const auto answer = raw.receive();
        if (b.answered) {
            ASSERT_EQ(answer.size(), 9u) << b.what;
            EXPECT_EQ(answer[7], 0xC1) << b.what;
            EXPECT_EQ(answer[8], kFunction) << b.what;
        } else {
            EXPECT_TRUE(answer.empty()) << b.what << ": the server answered";
        }
        EXPECT_TRUE(good_reads()) << b.what;
    }
    // A client that vanishes in the middle of a frame.
    {
        RawSocket raw(server.port());
        raw.send({0, 1, 0, 0, 0, 6});
        raw.close();
    }
    EXPECT_TRUE(good_reads());
    // A frame sent in two parts close together is still one request.
    RawSocket split(server.port());
    split.send({0, 7, 0, 0, 0, 6, 1});
    std::this_thread::sleep_for(5ms);
    split.send({0x01, 0, 0, 0, 1});
    const auto answer = split.receive();
    ASSERT_EQ(answer.size(), 10u);
    EXPECT_EQ(answer[1], 7);
    EXPECT_EQ(answer[7], 0x01);
    EXPECT_EQ(c.program().status(), STOP);
}

TEST(Modbus, AClientDribblingAFrameDelaysNoOtherAndIsClosedAfterHalfASecond) {
    TestController c;
    Server server(c.program().block_name(), {});
    const Client good = server.connect();
    ASSERT_TRUE(good);
    RawSocket slow(server.port());
    const std::vector<std::uint8_t> frame{0, 1, 0, 0, 0, 6, 1, 0x01, 0, 0, 0, 1};
    auto slowest = std::chrono::steady_clock::duration::zero();
    for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
        slow.send({frame[i]});
        const auto start = std::chrono::steady_clock::now();
        std::uint8_t bit = 0;
        ASSERT_EQ(modbus_read_bits(good.get(), kCoilInput, 1, &bit), 1);
        slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
        std::this_thread::sleep_for(20ms);
    }
    // Held behind the slow frame, the good client would wait for all of it
    // (over 200 ms); a loaded machine may delay it by some ms.
    EXPECT_LT(slowest, 100ms);
    // The frame never came whole within half a second: the server closed it.
    EXPECT_TRUE(slow.receive().empty());
}

TEST(Modbus, AnIdleClientIsClosed) {
    TestController c;
    Server server(c.program().block_name(), {"--idle-timeout", "1"});
    RawSocket idle(server.port());
    ASSERT_TRUE(idle.connected());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(idle.receive().empty());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
}

TEST(Modbus, APrivilegedPortIsRefusedWithTheReason) {
    TestController c;
    // Root gives up the capability for the port, as a plain user has none.
    TempDir dir;
    const std::string command = std::string(::geteuid() == 0 ? "setpriv --bounding-set=-net_bind_service " : "") +
                                VXCTL + " --block " + c.program().block_name() + " --symbols " + kSymbols +
                                " modbus --listen 127.0.0.1:502 2>" + dir.file("err") + " >/dev/null";
    const int status = std::system(command.c_str());
    const std::string err = read_file(dir.file("err"));
    if (contains(err, "setpriv")) GTEST_SKIP() << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << err;
    EXPECT_TRUE(contains(err, "need privileges: run with the capability CAP_NET_BIND_SERVICE")) << err;
}

TEST(Modbus, RandomBytesAndTruncatedFramesNeverDisturbTheProgram) {
    TestController c;
    Server server(c.program().block_name(), {"--control"});
    const Client good = server.connect();
    ASSERT_TRUE(good);
    ASSERT_TRUE(c.program().step());
    const std::int32_t passes = cur(c.program().i(523));
    std::mt19937 random(20261208);
    const std::vector<std::uint8_t> request{0, 1, 0, 0, 0, 6, 1, 0x03, 0, 100, 0, 2};
    for (int round = 0; round < 60; ++round) {
        RawSocket raw(server.port());
        std::vector<std::uint8_t> bytes;
        if (round % 2 == 0) {
            bytes.resize(3 + random() % 300);
            for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
            bytes[2] = 0x55;  // never a valid protocol id: a write by chance is impossible
        } else {
            bytes.assign(request.begin(), request.begin() + 1 + static_cast<long>(random() % (request.size() - 1)));
        }
        raw.send(bytes);
        if (round % 3 == 0) raw.close();
    }
    std::uint16_t regs[2] = {};
    EXPECT_EQ(modbus_read_registers(good.get(), kHoldingResult, 2, regs), 2);
    EXPECT_EQ(c.program().status(), STOP);
    EXPECT_EQ(cur(c.program().i(523)), passes);
    EXPECT_FALSE(cur(c.program().b(5)));
}

TEST(Modbus, FortyClientsThirtyTwoServedTheRestRefused) {
    TestController c;
    Server server(c.program().block_name(), {});
    std::vector<Client> clients;
    int served = 0;
    for (int i = 0; i < 40; ++i) {
        Client client = server.connect();
        ASSERT_TRUE(client) << "connection " << i;
        std::uint8_t bit = 0;
        if (modbus_read_bits(client.get(), kCoilInput, 1, &bit) == 1) ++served;
        clients.push_back(std::move(client));
    }
    EXPECT_EQ(served, 32);
    // The first ones keep working; a place freed is taken by the next.
    std::uint8_t bit = 0;
    EXPECT_EQ(modbus_read_bits(clients.front().get(), kCoilInput, 1, &bit), 1);
    clients.erase(clients.begin());
    EXPECT_TRUE(eventually([&] {
        const Client next = server.connect();
        std::uint8_t b = 0;
        return next && modbus_read_bits(next.get(), kCoilInput, 1, &b) == 1;
    }));
}

TEST(Modbus, ProgramEndedAndStartedAgainUnderALiveServer) {
    ProgramOptions options;
    options.executable = TESTCTL;
    options.block_name = unique_block_name();
    auto first = std::make_unique<Program>(options);
    first->start();
    ASSERT_TRUE(first->attach());
    Server server(*options.block_name, {});
    const Client client = server.connect();
    ASSERT_TRUE(client);
    std::uint8_t bit = 0;
    ASSERT_TRUE(eventually([&] { return modbus_read_bits(client.get(), kCoilInput, 1, &bit) == 1; }));

    first->set_status(END);
    first->detach();
    ASSERT_EQ(first->wait_exit(), 0);
    ASSERT_TRUE(eventually([&] { return exception_of(modbus_read_bits(client.get(), kCoilInput, 1, &bit)) == MODBUS_EXCEPTION_GATEWAY_TARGET; }));
    EXPECT_EQ(exception_of(modbus_write_bit(client.get(), kCoilInput, 1)), MODBUS_EXCEPTION_GATEWAY_TARGET);
    // The server left the block: the name is gone with the program.
    EXPECT_TRUE(eventually([&] { return !std::filesystem::exists("/dev/shm/" + *options.block_name); }));

    Program second(options);
    second.start();
    ASSERT_TRUE(second.attach());
    ASSERT_TRUE(eventually([&] { return modbus_write_bit(client.get(), kCoilInput, 1) == 1; }));
    EXPECT_TRUE(cur(second.b(5)));
    EXPECT_TRUE(contains(server.out(), "the program ended")) << server.out();
    second.set_status(END);
    second.detach();
    EXPECT_EQ(second.wait_exit(), 0);
}

TEST(Modbus, AMapFileThatDoesNotFitIsRefusedWithItsLine) {
    TestController c;
    TempDir dir;
    write_file(dir.file("map.csv"), "name,type,table,address,registers,access\ninput,bool,coil,0,1,rw\nresult,int,holding_register,0,2,r\npassses,int,input_register,0,2,r\n");
    const Outcome r = c.run({"modbus", "--map", dir.file("map.csv"), "--listen", "127.0.0.1:" + std::to_string(next_port())});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "map.csv:4: unknown variable 'passses' (did you mean passes?)")) << r.err;
    const Outcome listen = c.run({"modbus", "--listen", "localhost:1502"});
    EXPECT_EQ(listen.status, 1);
    EXPECT_TRUE(contains(listen.err, "numeric IPv4 address")) << listen.err;
}

}  // namespace
}  // namespace vx::console::testing
