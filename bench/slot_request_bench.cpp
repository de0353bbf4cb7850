// The production request path against the system call it wraps.
//
// Slot 0's descriptor is /dev/null, which refuses every slot request at once
// (ENOTTY): both benchmarks pay for the system call and nothing behind it, so
// whatever inb() adds on top of a hand-written ioctl() is the difference.
#include "ratio_reporter.h"
#include "slot/slot_table.h"
#include "slotio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int reg = 35;
int null_fd = -1;

void BM_inb(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(inb(0, reg));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_inb);

void BM_bare_ioctl(benchmark::State &state)
{
    for (auto _ : state) {
        SlotRequest req{};
        req.reg = reg;
        benchmark::DoNotOptimize(::ioctl(null_fd, SLOT_READ_REG, &req));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_bare_ioctl);

// DO_32_BW makes eight requests: four read-backs, then four byte writes.
void BM_DO_32_BW(benchmark::State &state)
{
    int bit = 0;
    for (auto _ : state) {
        DO_32_BW(0, bit, 1);
        bit = (bit + 1) & 31;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DO_32_BW);

void BM_eight_bare_ioctls(benchmark::State &state)
{
    int bit = 0;
    for (auto _ : state) {
        uint32_t image = 0;
        for (uint32_t r = 0; r < 4; ++r) {
            SlotRequest req{};
            req.reg = r;
            if (::ioctl(null_fd, SLOT_READBACK_DO, &req) == 0)
                image |= (req.value & 0xff) << (8 * r);
        }
        image |= 1u << bit;
        for (uint32_t r = 0; r < 4; ++r) {
            SlotRequest req{};
            req.reg = r;
            req.value = (image >> (8 * r)) & 0xff;
            benchmark::DoNotOptimize(::ioctl(null_fd, SLOT_WRITE_REG, &req));
        }
        bit = (bit + 1) & 31;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_eight_bare_ioctls);

// Both loops must meet the same refusal from the same descriptor, or they do
// not measure the same thing: the kernel has to answer ENOTTY to each.
bool check_floor()
{
    SlotRequest req{};
    req.reg = reg;
    errno = 0;
    if (::ioctl(null_fd, SLOT_READ_REG, &req) != -1 || errno != ENOTTY) {
        std::fprintf(stderr, "slot_request_bench: /dev/null answered a slot request (%s)\n",
                     std::strerror(errno));
        return false;
    }
    errno = 0;
    const unsigned char value = inb(0, reg);
    if (value != 0 || errno != ENOTTY) {
        std::fprintf(stderr,
                     "slot_request_bench: inb(0, %d) did not reach /dev/null (value %u, %s)\n", reg,
                     value, std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (!slotio_bench::initialize(argc, argv))
        return 1;
    null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd < 0) {
        std::perror("slot_request_bench: /dev/null");
        return 1;
    }
    slotio::slot_fd[0] = null_fd;
    if (!check_floor())
        return 1;

    slotio_bench::RatioReporter reporter(benchmark::CreateDefaultDisplayReporter());
    slotio_bench::run(reporter);
    if (!reporter.empty())
        slotio_bench::print_ratio("inb / bare ioctl",
                                  reporter.time_ratio("BM_inb", "BM_bare_ioctl"));
    if (!reporter.empty())
        slotio_bench::print_ratio("DO_32_BW / eight bare ioctls",
                                  reporter.time_ratio("BM_DO_32_BW", "BM_eight_bare_ioctls"));

    slotio::slot_fd[0] = slotio::not_open;
    ::close(null_fd);
    return 0;
}
