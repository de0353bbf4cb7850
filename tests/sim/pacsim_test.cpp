// pacsim as a program: scenario errors, the request trace, exit statuses,
// serve mode, signal delivery, remote modules behind the COM ports' terminals,
// and a C99 program on the simulator.
#include "../../include/slotio.h"
#include "../../sim/common/protocol.h"
#include "support/motion_frames.h"
#include "support/process.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <span>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using namespace slotio_test;
namespace fs = std::filesystem;

namespace {

const std::string slot_tally = std::string(SIM_BIN_DIR) + "/slot_tally";

class TempDir {
  public:
    TempDir()
    {
        std::string t = fs::temp_directory_path() / "slotio-test-XXXXXX";
        path_ = mkdtemp(t.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string file(const std::string &name, const std::string &content = "") const
    {
        const std::string p = path_ + "/" + name;
        if (!content.empty())
            std::ofstream(p) << content;
        return p;
    }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

std::string read_file(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ErrorCase {
    const char *toml;
    const char *message; // after "pacsim: FILE"
};

TEST(Scenario, ErrorsNameTheFileTheLineAndTheKey)
{
    TempDir dir;
    const ErrorCase cases[] = {
        {"[boards]\n", ":1: boards: unknown key"},
        {"[board]\ncpu = \"x\"\n", ":2: board.cpu: unknown key"},
        {"[board]\nname = 5\n", ":2: board.name: expected a string"},
        {"[backplane]\nregisters = { 35 = \"seven\" }\n",
         ":2: backplane.registers.35: expected an integer"},
        {"[backplane]\nregisters = { 35 = -1 }\n",
         ":2: backplane.registers.35: value -1 outside 0 to 4294967295"},
        {"[backplane]\nregisters = { x35 = 1 }\n",
         ":2: backplane.registers.x35: register number must be 0 to 65535"},
        {"\n[slot.9]\n", ":2: slot.9: module slots are numbered 1 to 8"},
        {"[controller]\nmissing = 1\n", ":2: controller.missing: expected true or false"},
        {"[board]\n\n\ncpuinfo = \"nothere.txt\"\n", ":4: board.cpuinfo: cannot read "},
        {"[board]\nseries = 4500\n", ":2: board.series: the series is 4000 or 5000"},
        {"[slot.1]\nmodule = 4999\n", ":2: slot.1.module: no module 4999 in the catalogue"},
        {"[slot.1]\nmodule = 3999\n", ":2: slot.1.module: value 3999 outside 4000 to 5254"},
        {"[slot.1]\nmodule = 4057\ninputs = 1\n",
         ":3: slot.1.inputs: the module in this slot has no inputs"},
        {"[slot.1]\ninputs = 1\n", ":2: slot.1.inputs: the module in this slot has no inputs"},
        {"[slot.2]\nmodule = 4057\nid = 3\n", ":3: slot.2.id: give either module or id, not both"},
        {"[slot.2]\nid = 256\n", ":2: slot.2.id: value 256 outside 0 to 255"},
        {"[slot.2]\nmodel = 4057\n", ":2: slot.2.model: unknown key"},
        {"[slot.1]\nmodule = 4057\nfifo_depth = 100\n",
         ":3: slot.1.fifo_depth: the module in this slot is not a motion module"},
        {"[slot.1]\nsegment_time_us = 100\nmodule = 4052\n",
         ":2: slot.1.segment_time_us: the module in this slot is not a motion module"},
        {"[slot.1]\nnever_ready = true\n",
         ":2: slot.1.never_ready: the module in this slot is not a motion module"},
        {"[slot.1]\nmodule = 4053\nfifo_depth = 13\n",
         ":3: slot.1.fifo_depth: value 13 outside 14 to 65536"},
        {"[slot.1]\nmodule = 4053\nfifo_depth = 65537\n",
         ":3: slot.1.fifo_depth: value 65537 outside 14 to 65536"},
        {"[slot.1]\nmodule = 4053\nsegment_time_us = -1\n",
         ":3: slot.1.segment_time_us: value -1 outside 0 to 10000000"},
        {"[slot.1]\nmodule = 4053\nsegment_time_us = 10000001\n",
         ":3: slot.1.segment_time_us: value 10000001 outside 0 to 10000000"},
        {"[slot.1]\nmodule = 4053\nnever_ready = \"yes\"\n",
         ":3: slot.1.never_ready: expected true or false"},
        {"[slot.1]\nmodule = 4053\ncounts = [1, 2, 3]\n",
         ":3: slot.1.counts: the module in this slot is not an encoder module"},
        {"[slot.1]\nmodule = 4053\nindex = 5\n",
         ":3: slot.1.index: the module in this slot is not an encoder module"},
        {"[slot.1]\nmodule = 4052\ncounts = [1, 2]\n",
         ":3: slot.1.counts: expected a list of three integers"},
        {"[slot.1]\nmodule = 4052\ncounts = 5\n",
         ":3: slot.1.counts: expected a list of three integers"},
        {"[slot.1]\nmodule = 4052\ncounts = [1, \"two\", 3]\n",
         ":3: slot.1.counts: expected a list of three integers"},
        {"[slot.1]\nmodule = 4052\ncounts = [1, 2, 3.5]\n",
         ":3: slot.1.counts: expected a list of three integers"},
        {"[slot.1]\nmodule = 4052\nindex = 256\n", ":3: slot.1.index: value 256 outside 0 to 255"},
        {"[slot.1]\nmodule = 4052\nindex = -1\n", ":3: slot.1.index: value -1 outside 0 to 255"},
        {"com = 1\n", ":1: com: expected a table"},
        {"[com.0]\n", ":1: com.0: COM ports are numbered 1 to 37"},
        {"[com.38]\n", ":1: com.38: COM ports are numbered 1 to 37"},
        {"[com.x]\n", ":1: com.x: COM ports are numbered 1 to 37"},
        {"[com.1]\nmodules = 1\n", ":2: com.1.modules: unknown key"},
        {"[com.1]\nmodule = 5\n", ":2: com.1.module: expected [[com.1.module]] tables"},
        {"[com.1]\nmodule = [1]\n", ":2: com.1.module[0]: expected a [[com.1.module]] table"},
        {"[[com.1.module]]\naddress = 0\n",
         ":1: com.1.module[0]: a module needs a name (or slot_fixture = true)"},
        {"[[com.1.module]]\nname = \"a\"\naddress = 256\n",
         ":3: com.1.module[0].address: value 256 outside 0 to 255"},
        {"[[com.1.module]]\nname = \"a\"\naddress = -1\n",
         ":3: com.1.module[0].address: value -1 outside 0 to 255"},
        {"[[com.1.module]]\nname = 4017\n", ":2: com.1.module[0].name: expected a string"},
        {"[[com.1.module]]\nname = \"a\\u0001\"\n",
         ":2: com.1.module[0].name: printable ASCII characters only"},
        {"[[com.1.module]]\nname = \"a\"\ncolour = 1\n", ":3: com.1.module[0].colour: unknown key"},
        {"[[com.1.module]]\nname = \"a\"\nfault = \"loud\"\n",
         ":3: com.1.module[0].fault: expected none, silent, bad_checksum, cut_short, no_cr or "
         "garbage"},
        {"[[com.1.module]]\nname = \"a\"\nreply_delay_ms = -1\n",
         ":3: com.1.module[0].reply_delay_ms: value -1 outside 0 to 60000"},
        {"[[com.1.module]]\nname = \"a\"\nreply_delay_ms = 1.5\n",
         ":3: com.1.module[0].reply_delay_ms: expected an integer"},
        {"[[com.2.module]]\nslot_fixture = true\n",
         ":2: com.2.module[0].slot_fixture: the slot test fixture answers on COM 1 only"},
        {"[[com.1.module]]\nslot_fixture = true\nname = \"x\"\n",
         ":2: com.1.module[0].slot_fixture: give either name or slot_fixture, not both"},
        {"[[com.1.module]]\nslot_fixture = 1\n",
         ":2: com.1.module[0].slot_fixture: expected true or false"},
        {"[[com.1.module]]\nname = \"a\"\n[[com.1.module]]\nname = \"b\"\n",
         ":3: com.1.module[1].address: address 0 is taken by another module on COM 1"},
        {"[[com.37.module]]\naddress = 9\nname = \"a\"\n[[com.37.module]]\nname = \"b\"\n"
         "address = 9\n",
         ":6: com.37.module[1].address: address 9 is taken by another module on COM 37"},
    };
    for (const ErrorCase &c : cases) {
        const std::string file = dir.file("bad.toml", c.toml);
        const Outcome o = run_program({PACSIM_BIN, "run", file, "--", "/bin/true"});
        EXPECT_EQ(o.status, 2) << c.toml;
        EXPECT_TRUE(o.err.starts_with("pacsim: " + file + c.message)) << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_EQ(o.out, "");
    }
}

TEST(Scenario, SyntaxErrorNamesTheLine)
{
    TempDir dir;
    const std::string file = dir.file("bad.toml", "[board]\nname = \"unterminated\n");
    const Outcome o = run_program({PACSIM_BIN, "run", file, "--", "/bin/true"});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.err.starts_with("pacsim: " + file + ":2: ")) << o.err;
}

TEST(Scenario, MissingFile)
{
    const Outcome o = run_program({PACSIM_BIN, "run", "/nonexistent/x.toml", "--", "/bin/true"});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, "pacsim: /nonexistent/x.toml: cannot open the scenario file\n");
}

TEST(Pacsim, RunPassesTheCommandsExitStatusOn)
{
    EXPECT_EQ(under_pacsim(examples("geode.toml"), {"/bin/sh", "-c", "exit 3"}).status, 3);
    EXPECT_EQ(under_pacsim(examples("geode.toml"), {"/bin/sh", "-c", "kill -TERM $$"}).status,
              128 + SIGTERM);
    const Outcome o = under_pacsim(examples("geode.toml"), {"/nonexistent/program"});
    EXPECT_EQ(o.status, 127);
    EXPECT_NE(o.err.find("cannot run /nonexistent/program"), std::string::npos);
}

TEST(Pacsim, ProgramsSeeTheSimulatedRoot)
{
    const Outcome o =
        under_pacsim(examples("e38.toml"), {"/bin/sh", "-c", "ls \"$PACSIM_SOCKET\""});
    EXPECT_EQ(o.status, 0) << o.err;
}

TEST(Pacsim, TraceShowsEveryRequestReadably)
{
    TempDir dir;
    const std::string trace = dir.path() + "/trace.txt";
    const Outcome o = under_pacsim(examples("geode.toml"), {slot_tally}, {"--trace", trace});
    ASSERT_EQ(o.out, "8");
    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(line.find(": ") + 2)); // drop "pid N: "
    const std::vector<std::string> expected = {
        "open /dev/slot9 O_RDWR -> ok",
        "slot 9 SLOT_READ_REG reg=35 -> value=0x7",
        "close /dev/slot9",
    };
    EXPECT_EQ(lines, expected);
}

TEST(Pacsim, SignalsReachTheRegisteredProcessWithoutFailingRequests)
{
    const Outcome o = under_pacsim(examples("geode.toml"),
                                   {std::string(TEST_BIN_DIR) + "/signal_client", PACSIM_BIN});
    EXPECT_EQ(o.out, "reads ok, signals seen\n");
    EXPECT_EQ(o.status, 0) << o.err;
}

TEST(Pacsim, RaiseWithNobodyRegisteredFails)
{
    const Outcome o = under_pacsim(examples("geode.toml"), {PACSIM_BIN, "raise", "10"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "pacsim: no process is registered for slot 10\n");
}

TEST(Pacsim, ServeAnswersProgramsUntilStopped)
{
    ServedPacsim served(examples("z520.toml"));
    EXPECT_EQ(served.run({slot_tally}).out, "4");
    EXPECT_EQ(served.run({slot_tally}).out, "4"); // one program after another
    EXPECT_EQ(served.stop(), 0);
    EXPECT_FALSE(fs::exists(served.socket())); // cleaned up on the way out
}

TEST(Pacsim, SetAndShowChangeAndShowARunningController)
{
    const std::string list_modules = std::string(EXAMPLES_BIN_DIR) + "/list_modules";
    ServedPacsim served(examples("geode.toml"));
    EXPECT_EQ(served.pacsim({"set", "2", "inputs", "0x0f0f"}).status, 0);
    EXPECT_EQ(served.pacsim({"set", "3", "inputs", "0xff"}).status, 0);
    EXPECT_EQ(served.pacsim({"set", "7", "register", "8", "2"}).status, 0);
    EXPECT_EQ(served.pacsim({"set", "series", "5000"}).status, 0);
    EXPECT_EQ(served.pacsim({"set", "1", "register", "8", "1"}).status, 0);
    const Outcome o = served.run({list_modules});
    EXPECT_NE(o.out.find("slot 2: 5051 5051    digital input, inputs 0xf0f\n"), std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("slot 3: 5042 5042    digital input, inputs 0xff\n"), std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("slot 7: 5031 5031    analog input\n"), std::string::npos) << o.out;

    EXPECT_EQ(served.pacsim({"set", "series", "4000"}).status, 0);
    served.run({list_modules});
    const Outcome shown = served.pacsim({"show"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, "slot 1: 4057 (ID 0x1f) outputs 0x0000\n"
                         "slot 2: 4051 (ID 0x04) inputs 0x0f0f\n"
                         "slot 3: 4042 (ID 0x03) inputs 0xff (inverted)\n"
                         "slot 4: 4050 (ID 0x18) outputs 0x0000 inputs 0x1234\n"
                         "slot 5: 4065 (ID 0x27) outputs 0x00000000\n"
                         "slot 6: 4058 (ID 0x09) inputs 0xdeadbeef\n"
                         "slot 7: 4031 (ID 0x35)\n"
                         "slot 8: 4052 (ID 0x0d) counts 0x0000 0x0000 0x0000 index 0x00\n");
}

// A controller with a motion module in slot 4 and an encoder module in slot 8.
constexpr const char *motion_and_encoder = "[slot.4]\n"
                                           "module = 4053\n"
                                           "fifo_depth = 1024\n"
                                           "segment_time_us = 500\n"
                                           "[slot.8]\n"
                                           "module = 4052\n"
                                           "counts = [0, 0x1234, -1]\n"
                                           "index = 0xfd\n";

TEST(Pacsim, EncoderCountsAndIndexChangeWhileItRuns)
{
    TempDir dir;
    ServedPacsim served(dir.file("m.toml", motion_and_encoder));
    const std::string idle =
        "slot 1: empty\nslot 2: empty\nslot 3: empty\n"
        "slot 4: 4053 (ID 0x0e) position (0, 0), 0 segments, 0 frames rejected\n"
        "slot 5: empty\nslot 6: empty\nslot 7: empty\n";
    EXPECT_EQ(served.pacsim({"show"}).out,
              idle + "slot 8: 4052 (ID 0x0d) counts 0x0000 0x1234 0xffff index 0xfd\n");
    const std::vector<std::vector<std::string>> changes = {
        {"set", "8", "count", "1", "-2"}, {"set", "8", "count", "2", "0x10005"},
        {"set", "8", "move", "3", "3"},   {"set", "8", "move", "2", "-6"},
        {"set", "8", "index", "5"},
    };
    for (const auto &args : changes) {
        const Outcome o = served.pacsim(args);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "");
    }
    EXPECT_EQ(served.pacsim({"show"}).out,
              idle + "slot 8: 4052 (ID 0x0d) counts 0xfffe 0xffff 0x0002 index 0x05\n");
}

TEST(Pacsim, SvgDrawsTheMotionModulesPath)
{
    TempDir dir;
    const std::string scenario = dir.file("m.toml", motion_and_encoder);
    {
        ServedPacsim served(scenario);
        const Outcome o = served.pacsim({"svg", "4", dir.path() + "/path.svg"});
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "slot 4: end position (0, 0) after 0 segments\n");
        EXPECT_TRUE(read_file(dir.path() + "/path.svg").starts_with("<?xml"));
        const Outcome bad = served.pacsim({"svg", "4", "/nonexistent/path.svg"});
        EXPECT_EQ(bad.status, 2);
        EXPECT_EQ(bad.err,
                  "pacsim: cannot write /nonexistent/path.svg: No such file or directory\n");
    }
    const std::string drawn = dir.path() + "/run.svg";
    const Outcome run = under_pacsim(scenario, {"/bin/true"}, {"--svg", drawn});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "slot 4: end position (0, 0) after 0 segments\n");
    EXPECT_NE(read_file(drawn).find("end position (0, 0) after 0 segments</text>"),
              std::string::npos);

    const Outcome none = under_pacsim(examples("z520.toml"), {"/bin/true"}, {"--svg", drawn});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "pacsim: --svg: " + examples("z520.toml") + " has no motion module\n");
}

// A client of a served pacsim that speaks the socket protocol itself, so
// that it can write what no library call writes.
class RawClient {
  public:
    explicit RawClient(const std::string &socket_path)
    {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socket_path.c_str());
        fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~RawClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    bool connected() const { return fd_ >= 0; }
    int open(int slot) { return exchange(pacsim::wire::op_open, slot, O_RDWR, {}); }
    int write(int slot, uint32_t reg, uint32_t value)
    {
        uint32_t words[8] = {};
        words[1] = value; // the record's value and register words
        words[6] = reg;
        return exchange(pacsim::wire::op_request, slot, SLOT_WRITE_REG, words);
    }
    void write(int slot, uint32_t reg, const std::vector<uint8_t> &bytes)
    {
        for (uint8_t b : bytes)
            EXPECT_EQ(write(slot, reg, b), 0);
    }

  private:
    int exchange(uint32_t op, int slot, uint32_t code, std::span<const uint32_t> words)
    {
        pacsim::wire::Message m{};
        m.op = op;
        m.slot = slot;
        m.code = code;
        m.result = static_cast<int32_t>(::getpid());
        std::copy(words.begin(), words.end(), m.words);
        const size_t size = pacsim::wire::header_size + words.size() * sizeof(uint32_t);
        if (::send(fd_, &m, size, 0) != static_cast<ssize_t>(size) ||
            ::recv(fd_, &m, sizeof m, 0) <= 0)
            return -1;
        return m.result;
    }
    int fd_ = -1;
};

TEST(Pacsim, TraceShowsRejectedFramesAndAFullFifo)
{
    TempDir dir;
    const std::string trace = dir.path() + "/trace.txt";
    {
        ServedPacsim served(dir.file("m.toml", "[slot.4]\nmodule = 4053\nfifo_depth = 14\n"
                                               "segment_time_us = 10000000\n"),
                            {"--trace", trace});
        RawClient client(served.socket());
        ASSERT_TRUE(client.connected());
        ASSERT_EQ(client.open(4), 0);
        std::vector<uint8_t> bad = frame_bytes(16, {0, 1, 0, 2}, 1); // check byte 0x13
        bad[12] = 0x12;
        client.write(4, 1, bad);
        client.write(4, 2, {0, 0});                                   // FIFO reset
        client.write(4, 1, frame_bytes(4, {0x01, 0, 0x0f, 0, 0}, 2)); // a long pulse move
        client.write(4, 1, std::vector<uint8_t>(20, 0x33));           // 14 fit, 6 are lost
        const Outcome shown = served.pacsim({"show"});
        // The move runs on real time: where it has got to is not fixed.
        EXPECT_NE(shown.out.find(", 0 segments, 1 frame rejected\n"), std::string::npos)
            << shown.out;
    }
    std::ifstream in(trace);
    std::vector<std::string> notes;
    const std::string mine = "pid " + std::to_string(::getpid()) + ": ";
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(mine + "slot 4: "))
            notes.push_back(line.substr(mine.size()));
    const std::vector<std::string> expected = {
        "slot 4: frame rejected: check byte 0x12, expected 0x13",
        "slot 4: FIFO full (14 bytes): byte 0x33 lost",
    };
    EXPECT_EQ(notes, expected);
}

struct ControlError {
    std::vector<std::string> args;
    const char *message;
};

TEST(Pacsim, SetRefusesWhatTheControllerCannotDo)
{
    ServedPacsim served(examples("geode.toml"));
    const ControlError cases[] = {
        {{"set", "1", "count", "1", "5"}, "pacsim: slot 1 holds no encoder module\n"},
        {{"set", "8", "count", "4", "5"}, "pacsim: encoder axes are 1 to 3: 4\n"},
        {{"set", "8", "move", "0", "5"}, "pacsim: encoder axes are 1 to 3: 0\n"},
        {{"set", "8", "count", "1", "five"}, "pacsim: not a 64-bit number: five\n"},
        {{"set", "8", "count", "1", "99999999999999999999"},
         "pacsim: not a 64-bit number: 99999999999999999999\n"},
        {{"set", "8", "index", "256"}, "pacsim: not a byte: 256\n"},
        {{"set", "2", "index", "1"}, "pacsim: slot 2 holds no encoder module\n"},
        {{"svg", "8", "/tmp/x.svg"}, "pacsim: slot 8 holds no motion module\n"},
        {{"svg", "0", "/tmp/x.svg"}, "pacsim: module slots are 1 to 8: 0\n"},
        {{"set", "1", "inputs", "3"}, "pacsim: slot 1 holds no module with inputs\n"},
        {{"set", "9", "inputs", "3"}, "pacsim: module slots are 1 to 8: 9\n"},
        {{"set", "2", "inputs", "0x1ffffffff"}, "pacsim: not a 32-bit number: 0x1ffffffff\n"},
        {{"set", "11", "register", "0", "1"}, "pacsim: slots are 0 to 10: 11\n"},
        {{"set", "series", "4500"}, "pacsim: the series is 4000 or 5000\n"},
    };
    for (const ControlError &c : cases) {
        const Outcome o = served.pacsim(c.args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err, c.message);
    }
    const Outcome nobody =
        run_program({PACSIM_BIN, "show"}, {"PACSIM_SOCKET=/nonexistent/pacsim.sock"});
    EXPECT_EQ(nobody.status, 1);
    EXPECT_EQ(nobody.err, "pacsim: no pacsim serving on /nonexistent/pacsim.sock\n");
}

// Remote modules behind the COM ports, reached by a program that opens the
// terminal with plain POSIX calls (see com_probe.c).
const std::string com_probe = std::string(TEST_BIN_DIR) + "/com_probe";

// Lines the probe prints; each reply as one line.
std::string lines(std::initializer_list<const char *> each)
{
    std::string out;
    for (const char *line : each)
        out += std::string(line) + "\n";
    return out;
}

TEST(RemoteModules, AnswerOnTheTerminalBehindTheirComPort)
{
    const Outcome com1 = under_pacsim(
        examples("serial.toml"), {com_probe, "/dev/ttySA0", "$00M", "$00MD1", "$01M", "$01MD2"});
    EXPECT_EQ(com1.status, 0) << com1.err;
    EXPECT_EQ(com1.out,
              lines({R"("!004017\r")", R"("!0040174D\r")", R"("!014050\r")", R"("!0140504B\r")"}));
    const Outcome com2 =
        under_pacsim(examples("serial.toml"), {com_probe, "/dev/ttyS0", "$03M", "$03MD4"});
    EXPECT_EQ(com2.status, 0) << com2.err;
    EXPECT_EQ(com2.out, lines({R"("!034060\r")", R"("!0340604E\r")"}));
}

TEST(RemoteModules, NoAnswerFromAnotherPortOrAddressNorToAWrongChecksum)
{
    // What nobody answers is over after the short wait; the last command
    // shows that the line still works.
    const Outcome com1 =
        under_pacsim(examples("serial.toml"),
                     {com_probe, "-w", "300", "/dev/ttySA0", "$03M", "$02M", "$00MD2", "$00M"});
    EXPECT_EQ(com1.out, lines({"(nothing)", "(nothing)", "(nothing)", R"("!004017\r")"}));
    const Outcome com2 =
        under_pacsim(examples("serial.toml"), {com_probe, "-w", "300", "/dev/ttyS0", "$00M"});
    EXPECT_EQ(com2.out, lines({"(nothing)"}));
    // A port the scenario does not name has no device.
    const Outcome none = under_pacsim(examples("serial.toml"), {com_probe, "/dev/ttyS1", "$00M"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "cannot use /dev/ttyS1: No such file or directory\n");
}

TEST(RemoteModules, SilentModuleNeverAnswers)
{
    TempDir dir;
    const std::string trace = dir.path() + "/trace.txt";
    // A single [com.1.module] table is one module too.
    const std::string scenario =
        dir.file("s.toml", "[com.1.module]\nname = \"4017\"\nfault = \"silent\"\n");
    const Outcome o = under_pacsim(scenario, {com_probe, "-a", "-w", "300", "/dev/ttySA0", "$00M"},
                                   {"--trace", trace});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, lines({"(nothing)"}));
    EXPECT_EQ(read_file(trace), "com 1: \"$00M\\r\" -> no answer: fault silent\n");
}

TEST(RemoteModules, FaultyRepliesPassTheTerminalByteForByte)
{
    TempDir dir;
    const std::string scenario = dir.file("s.toml", "[[com.1.module]]\n"
                                                    "address = 0\n"
                                                    "name = \"4017\"\n"
                                                    "fault = \"bad_checksum\"\n"
                                                    "[[com.1.module]]\n"
                                                    "address = 1\n"
                                                    "name = \"4050\"\n"
                                                    "fault = \"cut_short\"\n"
                                                    "[[com.1.module]]\n"
                                                    "address = 2\n"
                                                    "name = \"4017\"\n"
                                                    "fault = \"no_cr\"\n"
                                                    "[[com.1.module]]\n"
                                                    "address = 3\n"
                                                    "name = \"4060\"\n"
                                                    "fault = \"garbage\"\n"
                                                    "reply_delay_ms = 0\n");
    // Read for the whole second: nothing more may follow what is expected.
    const Outcome o = under_pacsim(scenario, {com_probe, "-a", "-w", "1000", "/dev/ttySA0",
                                              "$00MD1", "$00M", "$01MD2", "$02M", "$03MD4"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, lines({R"("!0040174E\r")", R"("!004017\r")", R"("!014")", R"("!024017")",
                            R"("!0340604E\r\xA5~\xFEZ")"}));
}

TEST(RemoteModules, SlotFixtureNamesTheSelectedSlot)
{
    TempDir dir;
    const std::string scenario = dir.file("s.toml", "[[com.1.module]]\nslot_fixture = true\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, lines({R"("!004045-S?\r")"})}, // nothing selected yet
        {{"-s", "2"}, lines({R"("!004045-S1\r")", R"("!004045-S1FF\r")"})},
        {{"-s", "8"}, lines({R"("!004045-S7\r")", R"("!004045-S705\r")"})},
        {{"-s", "9"}, lines({R"("!004045-S?\r")", R"("!004045-S?0D\r")"})},
    };
    for (const auto &[options, expected] : cases) {
        std::vector<std::string> argv = {com_probe};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"/dev/ttySA0", "$00M"});
        if (!options.empty())
            argv.push_back("$00MD1");
        const Outcome o = under_pacsim(scenario, argv);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, expected) << options.size();
    }
}

TEST(RemoteModules, TraceShowsEachCommandAndWhatCameOfIt)
{
    TempDir dir;
    const std::string trace = dir.path() + "/trace.txt";
    const Outcome o =
        under_pacsim(examples("serial.toml"),
                     {com_probe, "-w", "300", "/dev/ttySA0", "$00MD1", "$05M"}, {"--trace", trace});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(read_file(trace), "com 1: \"$00MD1\\r\" -> \"!0040174D\\r\"\n"
                                "com 1: \"$05M\\r\" -> no answer: no module at address 05\n");
}

TEST(RemoteModules, TerminalStartsRawAndKeepsItsSettingsBetweenPrograms)
{
    const std::string probe = com_probe + " -i /dev/ttySA0";
    const Outcome o =
        under_pacsim(examples("serial.toml"), {"/bin/sh", "-c", probe + " -b 9600 && " + probe});
    EXPECT_EQ(o.status, 0) << o.err;
    const size_t first_end = o.out.find('\n');
    ASSERT_NE(first_end, std::string::npos) << o.out;
    // The speed it starts at is the terminal's own; the modes are pacsim's.
    EXPECT_TRUE(o.out.substr(0, first_end).ends_with(" baud, echo off, canonical off, icrnl off"))
        << o.out;
    EXPECT_EQ(o.out.substr(first_end + 1),
              "found: 9600 baud, echo off, canonical off, icrnl off\n");
}

TEST(RemoteModules, TheLibrarysComCallsReachThem)
{
    TempDir dir;
    const std::string com_name = std::string(EXAMPLES_BIN_DIR) + "/com_name";
    const std::string scenario = dir.file("s.toml", "[[com.1.module]]\n"
                                                    "name = \"4017\"\n"
                                                    "[[com.1.module]]\n"
                                                    "address = 1\n"
                                                    "name = \"4050\"\n"
                                                    "fault = \"bad_checksum\"\n"
                                                    "[[com.1.module]]\n"
                                                    "address = 2\n"
                                                    "name = \"4060\"\n"
                                                    "fault = \"silent\"\n");
    struct Case {
        const char *address;
        const char *plain;   // the line of the exchange without checksum, up to " after"
        const char *checked; // and with
    };
    const Case cases[] = {
        {"00", R"($00M without checksum: ok, reply "!004017")",
         R"($00M with checksum: ok, reply "!0040174D")"},
        {"01", R"($01M without checksum: ok, reply "!014050")", "$01M with checksum: failed"},
        {"02", "$02M without checksum: no answer", "$02M with checksum: no answer"},
    };
    for (const Case &c : cases) {
        const Outcome o = under_pacsim(scenario, {com_name, c.address});
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_NE(o.out.find(c.plain), std::string::npos) << o.out;
        EXPECT_NE(o.out.find(c.checked), std::string::npos) << o.out;
    }
}

TEST(PublicHeader, C99ProgramBuildsAndRunsOnTheSimulator)
{
    const Outcome o =
        under_pacsim(examples("geode.toml"), {std::string(TEST_BIN_DIR) + "/header_c99"});
    EXPECT_EQ(o.out, "slots 8, platform 1, version 0.8.12\nregister 35 reads 7\n");
    EXPECT_EQ(o.status, 0);
}

} // namespace
