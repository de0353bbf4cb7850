// Remote modules by COM port number: the port-to-device table, numeric line
// settings, command exchanges with time-outs and numeric result codes, and
// raw byte exchanges.
#include "msw.h"
#include "os/os.h"
#include "sio.h"
#include "slotio.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <termios.h>

namespace slotio {

std::array<int, 50> _fd{};

namespace msw {
namespace {

enum Result : unsigned short {
    ok = 0,
    failed = 1,
    bad_port = 2,
    bad_rate = 3,
    timed_out = 15,
    write_failed = 65535,
};

constexpr size_t max_command = 250;

// The device path of COM ports 1 to 37; the strings live as long as the
// process, as the serial port layer keeps the pointer.
const char *device_of(int port)
{
    static std::array<std::array<char, 16>, 37> paths{};
    if (port < 1 || port > 37)
        return nullptr;
    char *path = paths[port - 1].data();
    if (port == 1)
        std::snprintf(path, 16, "/dev/ttySA0");
    else if (port == 37)
        std::snprintf(path, 16, "/dev/ttySA1");
    else
        std::snprintf(path, 16, "/dev/ttyS%d", port - 2);
    return path;
}

struct Rate {
    unsigned bps;
    speed_t code;
};
constexpr Rate rates[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                          {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

// The descriptor of an open port, or 0 (a port number outside 1 to 50, or a
// port not open: never descriptor 0, the program's standard input).
int descriptor(signed char port)
{
    if (port < 1 || port > 50)
        return 0;
    return _fd[port - 1];
}

unsigned short map_result(int r) { return r == -1 ? failed : r == 0 ? timed_out : ok; }

void set_timeout(int fd, unsigned short tenths)
{
    sio_set_timer(fd, 0, static_cast<unsigned char>(tenths & 0xff));
}

} // namespace
} // namespace msw
} // namespace slotio

using namespace slotio;
using namespace slotio::msw;

extern "C" {

int64_t _time_get_todMS(void) { return _time_get_tod() / 1000; }

unsigned short Open_Com(signed char port, unsigned int rate, signed char data_bits,
                        signed char parity, signed char stop_bits)
{
    const char *device = device_of(port);
    if (!device)
        return bad_port;
    const Rate *r = nullptr;
    for (const Rate &candidate : rates)
        if (candidate.bps == rate)
            r = &candidate;
    if (!r)
        return bad_rate;
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (data_bits < 5 || data_bits > 8)
        return failed;
    if (parity < 0 || parity > 2)
        return failed;
    if (stop_bits != 0 && stop_bits != 2)
        return failed;
    const int fd = sio_open(device, r->code, sizes[data_bits - 5], parity, stop_bits);
    if (fd <= 0)
        return bad_port;
    _fd[port - 1] = fd;
    return ok;
}

unsigned short Close_Com(signed char port)
{
    const int fd = descriptor(port);
    if (fd == 0)
        return bad_port;
    if (sio_close(fd) == -1)
        return failed;
    _fd[port - 1] = 0;
    return ok;
}

unsigned short Send_Cmd(signed char port, const char *command, unsigned short checksum)
{
    const int fd = descriptor(port);
    if (fd == 0)
        return bad_port;
    if (!command || std::strlen(command) > max_command)
        return failed;
    char copy[max_command + 2];
    _rmx_gum_cr(copy, command);
    const int r = checksum ? rmx_send_cs(fd, copy) : rmx_send(fd, copy);
    return r == -1 ? write_failed : ok;
}

unsigned short Receive_Cmd(signed char port, char *reply, unsigned short timeout,
                           unsigned short checksum)
{
    const int fd = descriptor(port);
    if (fd == 0)
        return bad_port;
    if (!reply)
        return failed;
    set_timeout(fd, timeout);
    // Whatever arrives before a time-out stays a terminated string.
    std::memset(reply, 0, max_command + 1);
    int64_t elapsed = 0;
    const int r = checksum ? rmx_readt_cs(fd, reply, max_command, &elapsed)
                           : rmx_read(fd, reply, max_command);
    return map_result(r);
}

unsigned short Send_Receive_Cmd(signed char port, const char *command, char *reply,
                                unsigned short timeout, unsigned short checksum,
                                unsigned short *elapsed_us)
{
    const int fd = descriptor(port);
    if (fd == 0)
        return bad_port;
    if (!reply)
        return failed;
    // The reply is a terminated string on every path: empty when nothing was
    // sent, the characters received when the reply stopped short.
    std::memset(reply, 0, max_command + 1);
    if (!command || std::strlen(command) > max_command)
        return failed;
    char copy[max_command + 2];
    _rmx_gum_cr(copy, command);
    set_timeout(fd, timeout);
    const int64_t start = _time_get_tod();
    int64_t elapsed = -1;
    const int r = checksum ? rmx_send_readt_cs(fd, copy, reply, max_command, &elapsed)
                           : rmx_send_readt(fd, copy, reply, max_command, &elapsed);
    const size_t length = std::strlen(reply);
    if (length > 0 && reply[length - 1] == '\r')
        reply[length - 1] = '\0';
    if (elapsed < 0) // a checksum mismatch leaves it unset: the time the exchange took
        elapsed = _time_get_tod() - start;
    if (elapsed_us)
        *elapsed_us = static_cast<unsigned short>(elapsed & 0xffff);
    return map_result(r);
}

unsigned short Send_Binary(signed char port, const char *data, int length)
{
    const int fd = descriptor(port);
    if (fd == 0)
        return bad_port;
    if (!data || length < 0)
        return write_failed;
    const long n = os::write(fd, data, static_cast<unsigned long>(length));
    if (n == -1)
        return write_failed;
    return static_cast<unsigned short>(n);
}

unsigned short Receive_Binary(signed char port, char *buffer, unsigned short timeout,
                              unsigned short size, void *unused)
{
    (void)unused;
    const int fd = descriptor(port);
    if (fd == 0)
        return bad_port;
    if (!buffer)
        return failed;
    set_timeout(fd, timeout);
    return map_result(rmx_read(fd, buffer, size));
}

unsigned short Send_Receive(signed char port, const char *data, unsigned short data_length,
                            char *reply, unsigned short reply_length, unsigned short timeout_ms,
                            unsigned short *elapsed_ms)
{
    const int64_t start = _time_get_todMS();
    const int fd = descriptor(port);
    if (fd == 0)
        return bad_port;
    auto store_elapsed = [&] {
        const auto ms = static_cast<unsigned short>((_time_get_todMS() - start) & 0xffff);
        if (elapsed_ms)
            *elapsed_ms = ms;
        return ms;
    };
    if (!data || (!reply && reply_length > 0)) {
        store_elapsed();
        return write_failed;
    }
    sio_set_timer(fd, 0, 0); // every read returns at once with what has arrived
    if (os::write(fd, data, data_length) == -1) {
        store_elapsed();
        return write_failed;
    }
    unsigned short count = 0;
    while (count < reply_length) {
        char c;
        const long n = os::read(fd, &c, 1);
        const unsigned short ms = store_elapsed();
        if (n == -1)
            return count;
        if (n == 1)
            reply[count++] = c;
        if (ms > timeout_ms)
            return count;
    }
    store_elapsed();
    return reply_length;
}

} // extern "C"
