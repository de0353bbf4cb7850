#include "inproc.h"

#include "../../lib/os/os.h"
#include "../common/paths.h"
#include "../model/request_info.h"

#include "slotio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pacsim {

namespace {
InProcess *active = nullptr;

constexpr int not_a_slot = -2;

// Slot number of a "/dev/slot..." path (-1 when malformed), or not_a_slot.
int slot_of_path(const char *path)
{
    if (std::strncmp(path, "/dev/slot", 9) != 0)
        return not_a_slot;
    int slot = -1;
    char tail = 0;
    if (std::sscanf(path, "/dev/slot%d%c", &slot, &tail) != 1)
        return -1;
    return slot;
}
} // namespace

struct InProcessOps {
    static int open(const char *path, int flags)
    {
        InProcess &sim = *active;
        const int slot = slot_of_path(path);
        int fd = -1;
        if (slot == not_a_slot) {
            fd = ::open(map_path(sim.root_.path(), path).c_str(), flags | O_CLOEXEC, 0644);
        } else if (!Controller::valid(slot)) {
            errno = ENOENT;
        } else if (const int err = sim.controller.open(slot); err != 0) {
            errno = err;
        } else {
            fd = sim.next_fd_++;
            sim.fds_[slot] = fd;
        }
        sim.opens.push_back({path, flags, fd});
        return fd;
    }

    static int close(int fd)
    {
        InProcess &sim = *active;
        const int slot = sim.slot_of(fd);
        if (slot < 0)
            return ::close(fd);
        sim.fds_[slot] = -1;
        return 0;
    }

    static int ioctl(int fd, unsigned long code, void *arg)
    {
        InProcess &sim = *active;
        const int slot = sim.slot_of(fd);
        TraceEntry e{slot, static_cast<uint32_t>(code), {}, {}, 0};
        const size_t nwords = code == SLOT_GET_STATUS ? 38 : 8;
        if (arg)
            std::memcpy(e.sent.data(), arg, 8 * sizeof(uint32_t));
        if (slot < 0)
            e.error = EBADF;
        else if (!arg)
            e.error = EFAULT;
        else
            e.error = sim.controller.request(
                slot, e.code, std::span<uint32_t>(static_cast<uint32_t *>(arg), nwords));
        if (arg)
            std::memcpy(e.answer.data(), arg, 8 * sizeof(uint32_t));
        sim.clock.advance(sim.request_time_us);
        if (sim.tracing)
            sim.trace.push_back(e);
        if (e.error != 0) {
            errno = e.error;
            return -1;
        }
        return 0;
    }

    static FILE *popen(const char *command, const char *mode)
    {
        InProcess &sim = *active;
        sim.commands.emplace_back(command);
        if (sim.commands_fail) {
            errno = EAGAIN;
            return nullptr;
        }
        return ::popen(map_command(sim.root_.path(), command).c_str(), mode);
    }

    static int pclose(FILE *stream) { return ::pclose(stream); }

    static int system(const char *command)
    {
        InProcess &sim = *active;
        sim.commands.emplace_back(command);
        if (sim.commands_fail)
            return -1;
        return std::system(map_command(sim.root_.path(), command).c_str());
    }

    static int stat(const char *path, struct stat *st)
    {
        return ::stat(map_path(active->root_.path(), path).c_str(), st);
    }

    static int gettimeofday(struct timeval *tv)
    {
        const int64_t now = active->clock.now_us();
        tv->tv_sec = now / 1000000;
        tv->tv_usec = now % 1000000;
        return 0;
    }

    // Reads and writes on real descriptors (pseudo-terminals in the tests),
    // each taking a request's worth of virtual time.
    static long read(int fd, void *buffer, unsigned long size)
    {
        active->clock.advance(active->request_time_us);
        return ::read(fd, buffer, size);
    }

    static long write(int fd, const void *buffer, unsigned long size)
    {
        active->clock.advance(active->request_time_us);
        return ::write(fd, buffer, size);
    }

    static int usleep(unsigned int microseconds)
    {
        active->clock.advance(microseconds);
        active->slept_us += microseconds;
        return 0;
    }
};

namespace {
const slotio::os::Ops inprocess_ops = {
    .open = InProcessOps::open,
    .close = InProcessOps::close,
    .ioctl = InProcessOps::ioctl,
    .popen = InProcessOps::popen,
    .pclose = InProcessOps::pclose,
    .system = InProcessOps::system,
    .stat = InProcessOps::stat,
    .gettimeofday = InProcessOps::gettimeofday,
    .usleep = InProcessOps::usleep,
    .read = InProcessOps::read,
    .write = InProcessOps::write,
};
} // namespace

InProcess::InProcess(Controller &c) : controller(c), root_(c.board)
{
    if (active)
        throw std::logic_error("only one in-process simulator at a time");
    fds_.fill(-1);
    controller.set_clock(clock);
    active = this;
    previous_ = slotio::os::install(&inprocess_ops);
}

InProcess::~InProcess()
{
    slotio::os::install(static_cast<const slotio::os::Ops *>(previous_));
    controller.use_real_clock();
    active = nullptr;
}

int InProcess::slot_of(int fd) const
{
    if (fd < 0)
        return -1;
    for (int slot = 0; slot < slot_count; ++slot)
        if (fds_[slot] == fd)
            return slot;
    return -1;
}

std::string InProcess::trace_text() const
{
    std::string out;
    for (const TraceEntry &e : trace) {
        out += describe_request(e.slot, e.code, e.sent, e.answer, e.error);
        out += '\n';
    }
    return out;
}

} // namespace pacsim
