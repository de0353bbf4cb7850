/* Talks to the remote modules behind one of the controller's serial ports,
 * with plain POSIX calls on the terminal, the way a program on the
 * controller would:
 *
 *   com_probe [-s SLOT] [-w MS] [-a] [-i] [-b BAUD] DEVICE [COMMAND...]
 *
 * DEVICE is the controller's path ("/dev/ttySA0"), found below $PACSIM_ROOT.
 * Each COMMAND is sent with a CR added; the reply, read until its CR or until
 * MS milliseconds (5000 unless -w says otherwise) have passed, is printed as
 * one line, quoted with CR as \r and other unprintable bytes as \xNN, or as
 * (nothing). Options:
 *   -s SLOT  select the slot first (ChangeToSlot on slot 0), as the slot test
 *            fixture's name depends on it
 *   -a       read for the whole time-out, past a CR (to see what follows it)
 *   -i       print the terminal's speed and modes as found, before any change:
 *            "found: 38400 baud, echo off, canonical off, icrnl off"
 *   -b BAUD  leave the terminal at this speed (1200 to 115200) on exit
 * Exit status 0, or 2 for bad arguments or a terminal that cannot be used. */
#include "slotio.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static long long now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

static void print_quoted(const unsigned char *bytes, size_t n)
{
    size_t i;
    if (n == 0) {
        puts("(nothing)");
        return;
    }
    putchar('"');
    for (i = 0; i < n; ++i) {
        if (bytes[i] == '\r')
            fputs("\\r", stdout);
        else if (bytes[i] == '\n')
            fputs("\\n", stdout);
        else if (bytes[i] < 0x20 || bytes[i] > 0x7e || bytes[i] == '"' || bytes[i] == '\\')
            printf("\\x%02X", bytes[i]);
        else
            putchar(bytes[i]);
    }
    puts("\"");
}

static speed_t speed_code(long baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

static long speed_value(speed_t code)
{
    static const long rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    size_t i;
    for (i = 0; i < sizeof rates / sizeof rates[0]; ++i)
        if (speed_code(rates[i]) == code)
            return rates[i];
    return 0;
}

static const char *on_off(int on) { return on ? "on" : "off"; }

/* Reads into `reply` until a CR (unless `past_cr`), a full buffer or the
 * deadline; the number of bytes read. */
static size_t read_reply(int fd, unsigned char *reply, size_t size, long long deadline, int past_cr)
{
    size_t n = 0;
    while (n < size) {
        struct pollfd p;
        long long left = deadline - now_ms();
        ssize_t got;
        if (left <= 0)
            break;
        p.fd = fd;
        p.events = POLLIN;
        p.revents = 0;
        if (poll(&p, 1, (int)left) <= 0)
            continue; /* EINTR, or the time is up: the loop test decides */
        got = read(fd, reply + n, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            break;
        n += 1;
        if (!past_cr && reply[n - 1] == '\r')
            break;
    }
    return n;
}

int main(int argc, char **argv)
{
    long wait_ms = 5000, baud = 0, slot = -1;
    int past_cr = 0, show = 0, opt, fd, i;
    const char *root = getenv("PACSIM_ROOT");
    char path[4096];
    struct termios t;

    while ((opt = getopt(argc, argv, "s:w:aib:")) != -1) {
        switch (opt) {
        case 's': slot = strtol(optarg, NULL, 10); break;
        case 'w': wait_ms = strtol(optarg, NULL, 10); break;
        case 'a': past_cr = 1; break;
        case 'i': show = 1; break;
        case 'b': baud = strtol(optarg, NULL, 10); break;
        default: return 2;
        }
    }
    if (optind >= argc || wait_ms < 0 || (baud && speed_code(baud) == B0))
        return 2;
    snprintf(path, sizeof path, "%s%s", root ? root : "", argv[optind]);

    if (slot >= 0) {
        if (Open_Slot(0) != 0) {
            puts("cannot open slot 0");
            return 2;
        }
        ChangeToSlot((int)slot);
        Close_Slot(0);
    }

    fd = open(path, O_RDWR | O_NOCTTY);
    if (fd < 0 || tcgetattr(fd, &t) != 0) {
        printf("cannot use %s: %s\n", argv[optind], strerror(errno));
        return 2;
    }
    if (show)
        printf("found: %ld baud, echo %s, canonical %s, icrnl %s\n", speed_value(cfgetispeed(&t)),
               on_off(t.c_lflag & ECHO), on_off(t.c_lflag & ICANON), on_off(t.c_iflag & ICRNL));
    cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (baud) {
        cfsetispeed(&t, speed_code(baud));
        cfsetospeed(&t, speed_code(baud));
    }
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIFLUSH); /* whatever an earlier program left unread */

    for (i = optind + 1; i < argc; ++i) {
        unsigned char reply[512];
        char command[300];
        const int len = snprintf(command, sizeof command, "%s\r", argv[i]);
        size_t n;
        if (len < 0 || (size_t)len >= sizeof command ||
            write(fd, command, (size_t)len) != (ssize_t)len) {
            puts("write failed");
            close(fd);
            return 2;
        }
        n = read_reply(fd, reply, sizeof reply, now_ms() + wait_ms, past_cr);
        print_quoted(reply, n);
        fflush(stdout);
    }
    close(fd);
    return 0;
}
