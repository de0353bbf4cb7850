// pacsim as a program: scenario errors, the request trace, exit statuses,
// serve mode, signal delivery, and a C99 program on the simulator.
#include "support/process.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
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
    TempDir dir;
    const std::string socket = dir.path() + "/pacsim.sock";
    const pid_t server = fork();
    if (server == 0) {
        freopen("/dev/null", "w", stderr);
        execl(PACSIM_BIN, PACSIM_BIN, "serve", "--socket", socket.c_str(),
              examples("z520.toml").c_str(), nullptr);
        _exit(127);
    }
    for (int i = 0; i < 500 && !fs::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const Outcome o = run_program({slot_tally}, {"PACSIM_SOCKET=" + socket});
    kill(server, SIGTERM);
    int status = 0;
    waitpid(server, &status, 0);
    EXPECT_EQ(o.out, "4");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(socket)); // cleaned up on the way out
}

TEST(PublicHeader, C99ProgramBuildsAndRunsOnTheSimulator)
{
    const Outcome o =
        under_pacsim(examples("geode.toml"), {std::string(TEST_BIN_DIR) + "/header_c99"});
    EXPECT_EQ(o.out, "slots 8, platform 1, version 0.8.12\nregister 35 reads 7\n");
    EXPECT_EQ(o.status, 0);
}

} // namespace
