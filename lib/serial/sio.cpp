// Serial ports for the remote-module protocol: raw mode with a chosen speed,
// character size, parity and stop bits; the settings the port had are kept
// and put back on close.
#include "sio.h"

#include "os/os.h"
#include "slotio.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include <type_traits>

// The public header passes termios codes as unsigned int.
static_assert(std::is_same_v<speed_t, unsigned int> && std::is_same_v<tcflag_t, unsigned int>);

namespace slotio {

sio_entry *sio_list = nullptr;

int _sio_device(const char *device)
{
    if (!device)
        return 0;
    for (sio_entry *e = sio_list; e; e = e->next)
        if (e->device && std::strcmp(e->device, device) == 0)
            return e->fd;
    return 0;
}

sio_entry *_sio_find(int fd)
{
    for (sio_entry *e = sio_list; e; e = e->next)
        if (e->fd == fd)
            return e;
    return nullptr;
}

sio_entry *_sio_follow(int fd)
{
    if (sio_entry *e = _sio_find(fd))
        return e;
    auto *e = static_cast<sio_entry *>(std::calloc(1, sizeof(sio_entry)));
    auto *settings = static_cast<termios *>(std::calloc(1, sizeof(termios)));
    auto *saved = static_cast<termios *>(std::calloc(1, sizeof(termios)));
    if (!e || !settings || !saved) {
        std::free(e);
        std::free(settings);
        std::free(saved);
        return nullptr;
    }
    e->fd = fd;
    e->settings = settings;
    e->saved_settings = saved;
    if (!sio_list) {
        sio_list = e;
    } else {
        sio_entry *tail = sio_list;
        while (tail->next)
            tail = tail->next;
        tail->next = e;
    }
    return e;
}

int _sio_trim(int fd)
{
    sio_entry **link = &sio_list;
    while (*link && (*link)->fd != fd)
        link = &(*link)->next;
    sio_entry *e = *link;
    if (!e)
        return -1;
    *link = e->next;
    std::free(e->settings);
    std::free(e->saved_settings);
    std::free(e);
    return 0;
}

namespace {

// Puts the saved settings back, closes the port and forgets it.
int give_up(int fd, sio_entry *e, int result)
{
    tcsetattr(fd, TCSANOW, e->saved_settings);
    os::close(fd);
    _sio_trim(fd);
    return result;
}

void apply_mode(int fd, void (*change)(termios &))
{
    sio_entry *e = _sio_find(fd);
    if (!e)
        return; // not a port this layer opened: its settings are unknown
    change(*e->settings);
    tcflush(fd, TCIFLUSH);
    tcsetattr(fd, TCSANOW, e->settings);
}

constexpr cc_t zeroed_controls[] = {VINTR, VQUIT, VERASE,   VKILL,    VSWTC,   VSTART, VSTOP,
                                    VSUSP, VEOL,  VREPRINT, VDISCARD, VWERASE, VLNEXT, VEOL2};

} // namespace
} // namespace slotio

using namespace slotio;

extern "C" {

int sio_open(const char *device, unsigned int speed, unsigned int cflags, int parity, int stop)
{
    if (!device)
        return 0;
    int fd = _sio_device(device);
    if (fd == 0) {
        fd = os::open(device, O_RDWR | O_NOCTTY);
        if (fd < 0)
            return 0;
    }
    sio_entry *e = _sio_follow(fd);
    if (!e) {
        os::close(fd);
        return 0;
    }
    e->fd = fd;
    e->device = device;
    tcgetattr(fd, e->saved_settings);
    tcgetattr(fd, e->settings);
    termios &t = *e->settings;

    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) {
        os::close(fd);
        _sio_trim(fd);
        return -1;
    }
    t.c_cflag &= ~CSIZE;
    t.c_cflag |= cflags;
    switch (parity) {
    case 0: t.c_cflag &= ~(PARENB | PARODD); break;
    case 1: t.c_cflag |= PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    default: return give_up(fd, e, 0);
    }
    switch (stop) {
    case 0: t.c_cflag &= ~CSTOPB; break;
    case 2: t.c_cflag |= CSTOPB; break;
    default: return give_up(fd, e, 0);
    }
    t.c_iflag &= ~(ICRNL | INLCR | IXON | IXOFF);
    t.c_oflag &= ~(OPOST | OLCUC | ONLCR | OCRNL | NLDLY | CRDLY | TABDLY | BSDLY | VTDLY | FFDLY);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~CRTSCTS;
    t.c_lflag &= ~(ICANON | ECHO | ISIG);
    t.c_cc[VEOF] = 4;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    for (cc_t index : zeroed_controls)
        t.c_cc[index] = 0;
    tcsetattr(fd, TCSAFLUSH, &t);
    return fd;
}

int sio_close(int fd)
{
    sio_entry *e = _sio_find(fd);
    if (!e)
        return -1; // not a port this layer opened
    tcsetattr(fd, TCSANOW, e->saved_settings);
    _sio_trim(fd);
    return os::close(fd) == -1 ? -1 : 0;
}

void sio_set_noncan(int fd)
{
    apply_mode(fd, [](termios &t) {
        t.c_iflag &= ~ICRNL;
        t.c_lflag &= ~ICANON;
    });
}

void sio_set_canon(int fd)
{
    apply_mode(fd, [](termios &t) {
        t.c_iflag |= ICRNL;
        t.c_lflag |= ICANON;
    });
}

void sio_set_timer(int fd, unsigned char vmin, unsigned char vtime)
{
    sio_entry *e = _sio_find(fd);
    if (!e)
        return;
    e->settings->c_cc[VMIN] = vmin;
    e->settings->c_cc[VTIME] = vtime;
    tcflush(fd, TCIFLUSH);
    tcsetattr(fd, TCSANOW, e->settings);
}

int sio_set_baud(int fd, unsigned int speed)
{
    sio_entry *e = _sio_find(fd);
    if (!e)
        return -1;
    if (cfsetispeed(e->settings, speed) != 0 || cfsetospeed(e->settings, speed) != 0) {
        os::close(fd);
        _sio_trim(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    tcsetattr(fd, TCSAFLUSH, e->settings);
    os::write(fd, "\r", 1);
    return 0;
}

} // extern "C"
