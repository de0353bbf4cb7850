// Time of day in microseconds and a simple deadline, on the wall clock.
#include "os/os.h"
#include "slotio.h"

using namespace slotio;

extern "C" {

int64_t _time_get_tod(void)
{
    timeval tv{};
    os::gettimeofday(&tv);
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

void _time_set_deadline(uint64_t delay_us, struct timeval *deadline)
{
    if (!deadline)
        return;
    timeval now{};
    os::gettimeofday(&now);
    const int64_t s = now.tv_sec + static_cast<int64_t>(delay_us / 1000000);
    const int64_t u = now.tv_usec + static_cast<int64_t>(delay_us % 1000000);
    deadline->tv_sec = s + u / 1000000;
    deadline->tv_usec = u % 1000000;
}

int _time_out(const struct timeval *deadline)
{
    if (!deadline)
        return -1;
    timeval now{};
    os::gettimeofday(&now);
    if (now.tv_sec > deadline->tv_sec)
        return -1;
    if (now.tv_sec == deadline->tv_sec && now.tv_usec >= deadline->tv_usec)
        return -1;
    return 0;
}

} // extern "C"
