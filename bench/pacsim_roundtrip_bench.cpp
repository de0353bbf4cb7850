// How many register reads a sim-flavour program gets from pacsim, against the
// rate of the bare Unix-socket round trip underneath.
//
// Both sides carry one request-sized message (48 bytes) each way over a
// SOCK_SEQPACKET socket to another process and wait for the answer: pacsim
// serving a Geode controller on one side, a child that echoes every message
// on the other. What pacsim and the client backend add to the round trip is
// the difference.
#include "ratio_reporter.h"
#include "sim/common/protocol.h"
#include "slotio.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace wire = pacsim::wire;

constexpr size_t message_size = wire::request_size;
static_assert(message_size == 48, "a slot request travels as 48 bytes");

constexpr int backplane_slot = 9;
constexpr int slot_count_reg = 35;
constexpr unsigned char geode_slot_count_value = 7; // examples/geode.toml: eight slots

struct Children {
    std::string dir; // temporary directory: socket and pacsim's simulated root
    pid_t pacsim = -1;
    pid_t echo = -1;
    int echo_fd = -1; // our end of the socket pair with the echo child
} children;

// Asks a child to stop, then insists; reaps it either way.
void reap(pid_t &pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    for (int waited_ms = 0; waited_ms < 5000; waited_ms += 10) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

void clean_up()
{
    Close_Slot(backplane_slot);
    reap(children.pacsim);
    if (children.echo_fd >= 0)
        ::close(children.echo_fd); // the echo child sees the end and leaves
    children.echo_fd = -1;
    reap(children.echo);
    if (!children.dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(children.dir, ec);
        children.dir.clear();
    }
}

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char *format, ...)
{
    std::fputs("pacsim_roundtrip_bench: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    clean_up();
    std::exit(1);
}

std::string make_temp_dir()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/slotio-bench-XXXXXX";
    if (!::mkdtemp(templ.data()))
        fail("cannot create a directory like %s: %s", templ.c_str(), std::strerror(errno));
    return templ;
}

// A child that answers every message on `fd` with the same bytes.
[[noreturn]] void echo_loop(int fd)
{
    wire::Message m;
    for (;;) {
        const ssize_t n = ::recv(fd, &m, sizeof m, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || ::send(fd, &m, static_cast<size_t>(n), MSG_NOSIGNAL) != n)
            ::_exit(0);
    }
}

void start_echo()
{
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
        fail("socketpair: %s", std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork: %s", std::strerror(errno));
    if (pid == 0) {
        ::close(sv[0]);
        echo_loop(sv[1]);
    }
    ::close(sv[1]);
    children.echo = pid;
    children.echo_fd = sv[0];
}

void start_pacsim(const std::string &socket_path)
{
    const std::string scenario = std::string(SLOTIO_BENCH_EXAMPLES_DIR) + "/geode.toml";
    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork: %s", std::strerror(errno));
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0)
            ::dup2(devnull, STDERR_FILENO);
        // pacsim makes its simulated root below TMPDIR: keep it in our
        // directory, so that it goes with it even if pacsim is killed.
        ::setenv("TMPDIR", children.dir.c_str(), 1);
        ::execl(SLOTIO_BENCH_PACSIM, "pacsim", "serve", "--socket", socket_path.c_str(),
                scenario.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    children.pacsim = pid;
}

// Waits until pacsim accepts connections on its socket.
void wait_for_pacsim(const std::string &socket_path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof addr.sun_path)
        fail("socket path too long: %s", socket_path.c_str());
    std::strcpy(addr.sun_path, socket_path.c_str());
    for (int waited_ms = 0; waited_ms < 10000; waited_ms += 10) {
        int status = 0;
        if (::waitpid(children.pacsim, &status, WNOHANG) == children.pacsim) {
            children.pacsim = -1;
            fail("%s exited (status %d) before serving", SLOTIO_BENCH_PACSIM,
                 WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        }
        const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (probe < 0)
            fail("socket: %s", std::strerror(errno));
        const bool up = ::connect(probe, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
        ::close(probe);
        if (up)
            return;
        ::usleep(10000);
    }
    fail("pacsim did not come up on %s", socket_path.c_str());
}

void BM_pacsim_inb(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inb(backplane_slot, slot_count_reg));
    // A pacsim that went away makes every read fail fast and yield 0.
    if (inb(backplane_slot, slot_count_reg) != geode_slot_count_value)
        state.SkipWithError("pacsim stopped answering");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_pacsim_inb)->UseRealTime();

void BM_bare_roundtrip(benchmark::State &state)
{
    wire::Message m{};
    m.op = wire::op_request;
    m.slot = backplane_slot;
    m.code = SLOT_READ_REG;
    SlotRequest req{};
    req.reg = slot_count_reg;
    std::memcpy(m.words, &req, sizeof req);
    const int fd = children.echo_fd;
    for (auto _ : state) {
        if (::send(fd, &m, message_size, MSG_NOSIGNAL) != static_cast<ssize_t>(message_size) ||
            ::recv(fd, &m, sizeof m, 0) != static_cast<ssize_t>(message_size)) {
            state.SkipWithError("the echo child stopped answering");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_bare_roundtrip)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (!slotio_bench::initialize(argc, argv))
        return 1;

    children.dir = make_temp_dir();
    start_echo();
    const std::string socket_path = children.dir + "/pacsim.sock";
    start_pacsim(socket_path);
    wait_for_pacsim(socket_path);

    ::setenv(wire::socket_env, socket_path.c_str(), 1);
    if (Open_Slot(backplane_slot) != 0)
        fail("Open_Slot(%d) failed against pacsim on %s", backplane_slot, socket_path.c_str());
    const unsigned char count = inb(backplane_slot, slot_count_reg);
    if (count != geode_slot_count_value)
        fail("inb(%d, %d) read %u from the Geode scenario, expected %u", backplane_slot,
             slot_count_reg, count, geode_slot_count_value);

    slotio_bench::RatioReporter reporter(benchmark::CreateDefaultDisplayReporter());
    slotio_bench::run(reporter);
    if (!reporter.empty())
        slotio_bench::print_ratio("pacsim inb rate / bare round-trip rate",
                                  reporter.time_ratio("BM_bare_roundtrip", "BM_pacsim_inb"));

    clean_up();
    return 0;
}
