// The interpolation engine's cost per segment, with no device behind it: a
// seam table that answers every slot request at once (the status register
// always shows FIFO_READY), so what is measured is the planning of each
// segment and the building of its frame. Each benchmark also reports the
// slot requests per segment (the frame protocol's floor is 84: two status
// reads and one write for each of the 28 bytes).
#include "motion/motion_state.h"
#include "os/os.h"
#include "slot/slot_table.h"
#include "slotio.h"

#include <benchmark/benchmark.h>
#include <cerrno>

namespace {

constexpr unsigned char card_no = 1;
constexpr int fake_fd = 1000;
uint64_t requests = 0;
uint64_t fifo_writes = 0;

int no_open(const char *, int)
{
    errno = ENOENT;
    return -1;
}
int no_close(int) { return 0; }
int answer(int fd, unsigned long code, void *arg)
{
    if (fd != fake_fd)
        return -1;
    ++requests;
    auto *r = static_cast<SlotRequest *>(arg);
    if (code == SLOT_READ_REG)
        r->value = r->reg == 0 ? slotio::motion_module_id : slotio::FIFO_READY | slotio::INTP_BUSY;
    else if (code == SLOT_WRITE_REG && r->reg == 1)
        ++fifo_writes;
    return 0;
}
FILE *no_popen(const char *, const char *) { return nullptr; }
int no_pclose(FILE *) { return -1; }
int no_system(const char *) { return -1; }
int no_stat(const char *, struct stat *) { return -1; }
int no_time(struct timeval *tv)
{
    tv->tv_sec = tv->tv_usec = 0;
    return 0;
}
int no_sleep(unsigned) { return 0; }
long no_read(int, void *, unsigned long) { return -1; }
long no_write(int, const void *, unsigned long) { return -1; }

const slotio::os::Ops instant_module = {
    .open = no_open,
    .close = no_close,
    .ioctl = answer,
    .popen = no_popen,
    .pclose = no_pclose,
    .system = no_system,
    .stat = no_stat,
    .gettimeofday = no_time,
    .usleep = no_sleep,
    .read = no_read,
    .write = no_write,
};

void set_up()
{
    slotio::os::install(&instant_module);
    slotio::slot_fd[card_no] = fake_fd;
    if (I4053_REGISTRATION(card_no, 0) != 1)
        std::abort();
}

// Starts a path and pumps it to the end, every iteration; reports the time
// and the slot requests per segment (every segment is one 28-byte frame).
template <typename Start> void run_path(benchmark::State &state, Start start)
{
    set_up();
    requests = fifo_writes = 0;
    for (auto _ : state) {
        start();
        while (I4053_INTP_STOP())
            ;
    }
    const double segments = static_cast<double>(fifo_writes) / 28.0;
    state.counters["segments_per_path"] = segments / state.iterations();
    state.counters["time_per_segment"] =
        benchmark::Counter(segments, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["requests_per_segment"] = static_cast<double>(requests) / segments;
}

void BM_line(benchmark::State &state)
{
    run_path(state, [] { I4053_INTP_LINE02(card_no, 100000, -37000, 1000, 0); });
}
BENCHMARK(BM_line)->Unit(benchmark::kMicrosecond);

void BM_circle(benchmark::State &state)
{
    run_path(state, [] { I4053_INTP_CIRCLE02(card_no, 20000, 5000, 1, 1000, 0); });
}
BENCHMARK(BM_circle)->Unit(benchmark::kMicrosecond);

void BM_arc(benchmark::State &state)
{
    run_path(state, [] { I4053_INTP_ARC02(card_no, 30000, 10000, -25000, 0, 1000, 0); });
}
BENCHMARK(BM_arc)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
