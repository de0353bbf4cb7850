// Production backend: thin wrappers over libc on the real controller.
#include "os.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace slotio::os {
namespace {

int sys_open(const char *path, int flags) { return ::open(path, flags); }
int sys_close(int fd) { return ::close(fd); }
int sys_ioctl(int fd, unsigned long code, void *arg) { return ::ioctl(fd, code, arg); }
FILE *sys_popen(const char *command, const char *mode) { return ::popen(command, mode); }
int sys_pclose(FILE *stream) { return ::pclose(stream); }
int sys_system(const char *command) { return std::system(command); }
int sys_stat(const char *path, struct stat *st) { return ::stat(path, st); }
int sys_gettimeofday(struct timeval *tv) { return ::gettimeofday(tv, nullptr); }
int sys_usleep(unsigned int microseconds) { return ::usleep(microseconds); }
long sys_read(int fd, void *buffer, unsigned long size) { return ::read(fd, buffer, size); }
long sys_write(int fd, const void *buffer, unsigned long size) { return ::write(fd, buffer, size); }

} // namespace

const Ops default_ops = {
    .open = sys_open,
    .close = sys_close,
    .ioctl = sys_ioctl,
    .popen = sys_popen,
    .pclose = sys_pclose,
    .system = sys_system,
    .stat = sys_stat,
    .gettimeofday = sys_gettimeofday,
    .usleep = sys_usleep,
    .read = sys_read,
    .write = sys_write,
};

} // namespace slotio::os
