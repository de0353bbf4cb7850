// The seam between the library and the machine.
//
// Every contact with the kernel, the shell and the file system goes through
// the operation table below. The production table (linux.cpp) is plain libc;
// the simulator tables forward to a model or to a running pacsim. The table
// in use is chosen at link time and can be swapped at run time by tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <sys/time.h>

namespace slotio::os {

struct Ops {
    int (*open)(const char *path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long code, void *arg);
    FILE *(*popen)(const char *command, const char *mode);
    int (*pclose)(FILE *stream);
    int (*system)(const char *command);
    int (*stat)(const char *path, struct stat *st);
    int (*gettimeofday)(struct timeval *tv);
    int (*usleep)(unsigned int microseconds);
    long (*read)(int fd, void *buffer, unsigned long size);
    long (*write)(int fd, const void *buffer, unsigned long size);
};

// Defined by exactly one backend linked into the program.
extern const Ops default_ops;

// The table every call below goes through.
extern const Ops *current;

// Swaps the table; nullptr puts the link-time default back. Returns the
// previous table.
const Ops *install(const Ops *ops);

inline int open(const char *path, int flags) { return current->open(path, flags); }
inline int close(int fd) { return current->close(fd); }
inline int ioctl(int fd, unsigned long code, void *arg) { return current->ioctl(fd, code, arg); }
inline FILE *popen(const char *command, const char *mode) { return current->popen(command, mode); }
inline int pclose(FILE *stream) { return current->pclose(stream); }
inline int system(const char *command) { return current->system(command); }
inline int stat(const char *path, struct stat *st) { return current->stat(path, st); }
inline int gettimeofday(struct timeval *tv) { return current->gettimeofday(tv); }
inline int usleep(unsigned int microseconds) { return current->usleep(microseconds); }
inline long read(int fd, void *buffer, unsigned long size)
{
    return current->read(fd, buffer, size);
}
inline long write(int fd, const void *buffer, unsigned long size)
{
    return current->write(fd, buffer, size);
}

// Microseconds on the seam's clock (wall clock time of day).
inline int64_t now_us()
{
    timeval tv{};
    gettimeofday(&tv);
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

} // namespace slotio::os
