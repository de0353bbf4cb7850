// The ASCII command protocol of remote I/O modules: commands ended by CR,
// optionally with a two-digit checksum (the byte sum of the command, upper-
// case hexadecimal) in front of the CR; replies read in one read or a
// character at a time up to the CR.
#include "os/os.h"
#include "slotio.h"

#include <cstdio>
#include <cstring>

namespace slotio::rmx {
namespace {

// Longest command that may be framed with a checksum; the frame and its NUL
// then fit in 128 bytes.
constexpr size_t max_checksum_command = 124;

constexpr char hex_digit(unsigned v) { return "0123456789ABCDEF"[v & 0x0f]; }

bool ends_command(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// Sends the command as given, or framed with its checksum.
int send(int fd, const char *command, bool checksum)
{
    if (!command)
        return -1;
    if (!checksum)
        return os::write(fd, command, std::strlen(command)) == -1 ? -1 : 0;
    if (std::strlen(command) > max_checksum_command)
        return -1;
    char frame[max_checksum_command + 4];
    _rmx_gum_chksum(frame, command);
    return os::write(fd, frame, std::strlen(frame)) == -1 ? -1 : 0;
}

// One read of up to `size` bytes, NUL stored behind them.
int read_once(int fd, char *buffer, int size, bool checksum)
{
    if (!buffer || size < 0)
        return -1;
    const long n = os::read(fd, buffer, static_cast<unsigned long>(size));
    if (n == -1)
        return -1;
    buffer[n] = '\0';
    if (checksum && _rmx_chksum(buffer) != 0)
        return -1;
    return static_cast<int>(n);
}

// Reads a character at a time up to a CR or `size` characters. On a time-out
// or read error the characters stay in the buffer, unterminated.
int read_line(int fd, char *buffer, int size, bool checksum, int64_t start, int64_t *elapsed)
{
    auto store_elapsed = [&] {
        if (elapsed)
            *elapsed = _time_get_tod() - start;
    };
    if (!buffer || size < 0) {
        store_elapsed();
        return -1;
    }
    int count = 0;
    while (count < size) {
        char c;
        const long n = os::read(fd, &c, 1);
        if (n <= 0) {
            store_elapsed();
            return static_cast<int>(n);
        }
        buffer[count++] = c;
        if (c == '\r')
            break;
    }
    buffer[count] = '\0';
    if (checksum && _rmx_chksum(buffer) != 0)
        return -1; // the elapsed time is left as it was
    store_elapsed();
    return count;
}

int send_read_line(int fd, const char *command, char *buffer, int size, int64_t *elapsed,
                   bool checksum)
{
    const int64_t start = _time_get_tod();
    if (send(fd, command, checksum) != 0) {
        if (elapsed)
            *elapsed = _time_get_tod() - start;
        return -1;
    }
    return read_line(fd, buffer, size, checksum, start, elapsed);
}

} // namespace
} // namespace slotio::rmx

using namespace slotio::rmx;

extern "C" {

char *_rmx_gum_cr(char *dst, const char *src)
{
    if (!dst || !src)
        return dst;
    size_t n = 0;
    while (!ends_command(src[n])) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = '\r';
    dst[n + 1] = '\0';
    return dst;
}

char *_rmx_gum_chksum(char *dst, const char *src)
{
    if (!dst || !src)
        return dst;
    int sum = 0;
    size_t n = 0;
    while (!ends_command(src[n])) {
        const char q = src[n];
        std::printf("In lib _rmx_gum_chksum q is %d\n", q);
        sum += q;
        dst[n] = q;
        ++n;
    }
    const auto low = static_cast<unsigned>(sum) & 0xff;
    dst[n] = hex_digit(low >> 4);
    dst[n + 1] = hex_digit(low);
    dst[n + 2] = '\r';
    dst[n + 3] = '\0';
    return dst;
}

int _rmx_chksum(const char *reply)
{
    if (!reply)
        return -1;
    std::printf("In lib _rmx_chksum string is %s\n", reply);
    size_t end = 0;
    while (reply[end] != '\n' && reply[end] != '\r' && reply[end] != '\0')
        ++end;
    if (end < 2)
        return -1; // no checksum characters to compare
    unsigned sum = 0;
    for (size_t i = 0; i + 2 < end; ++i)
        sum += static_cast<unsigned char>(reply[i]);
    if (reply[end - 2] != hex_digit((sum & 0xff) >> 4))
        return -1;
    if (reply[end - 1] != hex_digit(sum))
        return -1;
    return 0;
}

int rmx_send(int fd, const char *command) { return send(fd, command, false); }

int rmx_send_cs(int fd, const char *command) { return send(fd, command, true); }

int rmx_read(int fd, char *buffer, int size) { return read_once(fd, buffer, size, false); }

int rmx_read_cs(int fd, char *buffer, int size) { return read_once(fd, buffer, size, true); }

int rmx_readt(int fd, char *buffer, int size, int64_t *elapsed)
{
    return read_line(fd, buffer, size, false, _time_get_tod(), elapsed);
}

int rmx_readt_cs(int fd, char *buffer, int size, int64_t *elapsed)
{
    return read_line(fd, buffer, size, true, _time_get_tod(), elapsed);
}

int rmx_send_read(int fd, const char *command, char *buffer, int size)
{
    if (send(fd, command, false) != 0)
        return -1;
    return read_once(fd, buffer, size, false);
}

int rmx_send_read_cs(int fd, const char *command, char *buffer, int size)
{
    if (send(fd, command, true) != 0)
        return -1;
    return read_once(fd, buffer, size, true);
}

int rmx_send_readt(int fd, const char *command, char *buffer, int size, int64_t *elapsed)
{
    return send_read_line(fd, command, buffer, size, elapsed, false);
}

int rmx_send_readt_cs(int fd, const char *command, char *buffer, int size, int64_t *elapsed)
{
    return send_read_line(fd, command, buffer, size, elapsed, true);
}

} // extern "C"
