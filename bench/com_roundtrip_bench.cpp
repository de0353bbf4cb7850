// A command exchange through the COM port API against a bare write and read
// of the same bytes, on one pseudo-terminal pair whose far end answers at
// once. The protocol layer reads a reply one character at a time, so the
// API pays one read per character where the bare exchange reads whatever
// has arrived; the ratio shows what that costs.
#include "ratio_reporter.h"
#include "serial/msw.h"
#include "slotio.h"

#include <atomic>
#include <cstring>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char command[] = "$00M\r";
constexpr const char reply[] = "!00TEST\r";
int master = -1, slave_fd = -1, port_fd = -1;
std::atomic<bool> stop{false};

// The far end: answers every CR it receives at once.
void module_end()
{
    char buf[64];
    while (!stop) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::read(master, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == '\r') [[maybe_unused]]
                auto w = ::write(master, reply, sizeof reply - 1);
    }
}

void BM_send_receive_cmd(benchmark::State &state)
{
    char answer[251];
    unsigned short elapsed = 0;
    for (auto _ : state) {
        if (Send_Receive_Cmd(1, "$00M", answer, 10, 0, &elapsed) != 0) {
            state.SkipWithError("no answer");
            break;
        }
    }
}
BENCHMARK(BM_send_receive_cmd)->UseRealTime();

void BM_bare_write_read(benchmark::State &state)
{
    char answer[64];
    for (auto _ : state) {
        if (::write(port_fd, command, sizeof command - 1) < 0) {
            state.SkipWithError("write failed");
            break;
        }
        size_t got = 0;
        while (got == 0 || answer[got - 1] != '\r') {
            const ssize_t n = ::read(port_fd, answer + got, sizeof answer - got);
            if (n <= 0) {
                state.SkipWithError("no answer");
                return;
            }
            got += static_cast<size_t>(n);
        }
    }
}
BENCHMARK(BM_bare_write_read)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (!slotio_bench::initialize(argc, argv))
        return 1;
    if (openpty(&master, &slave_fd, nullptr, nullptr, nullptr) != 0) {
        std::perror("com_roundtrip_bench: openpty");
        return 1;
    }
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    port_fd = sio_open(ttyname(slave_fd), B115200, CS8, 0, 0);
    if (port_fd <= 0) {
        std::fprintf(stderr, "com_roundtrip_bench: sio_open failed\n");
        return 1;
    }
    slotio::_fd[0] = port_fd; // COM port 1
    std::thread far_end(module_end);

    slotio_bench::RatioReporter reporter(benchmark::CreateDefaultDisplayReporter());
    slotio_bench::run(reporter);
    if (!reporter.empty())
        slotio_bench::print_ratio("Send_Receive_Cmd / bare write and read",
                                  reporter.time_ratio("BM_send_receive_cmd", "BM_bare_write_read"));
    stop = true;
    far_end.join();
    Close_Com(1);
    close(slave_fd);
    close(master);
    return 0;
}
