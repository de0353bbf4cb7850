// The serial port layer on real pseudo-terminals: the settings made, kept
// and restored, as the terminal reports them.
#include "serial/pty_fixture.h"

#include <cstring>
#include <fcntl.h>

using namespace slotio_test;
using slotio::sio_list;

namespace {

size_t list_length()
{
    size_t n = 0;
    for (auto *e = sio_list; e; e = e->next)
        ++n;
    return n;
}

class Sio : public SerialTest {};

TEST_F(Sio, OpenMakesTheTerminalRaw)
{
    Pty &pty = attach("/dev/ttyS0");
    const int fd = sio_open("/dev/ttyS0", B115200, CS8, 0, 0);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(sim().opens.back().flags, O_RDWR | O_NOCTTY);
    const termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(cfgetispeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cc[VEOF], 4);
    EXPECT_EQ(t.c_cc[VINTR], 0);
    EXPECT_EQ(t.c_cc[VSTOP], 0);
    ASSERT_EQ(list_length(), 1u);
    EXPECT_STREQ(sio_list->device, "/dev/ttyS0");
}

struct LineCase {
    tcflag_t before_set; // flags the port had
    unsigned cflags;
    int parity;
    int stop;
    tcflag_t expect_set; // among PARENB, PARODD, CSTOPB, CSIZE
};

TEST_F(Sio, ParityAndStopBits)
{
    const LineCase cases[] = {
        {PARENB | PARODD, CS7, 0, 0, CS7},
        {0, CS8, 1, 0, CS8 | PARODD},               // odd flag only: no parity generated
        {PARODD, CS8, 2, 0, CS8 | PARENB | PARODD}, // enable flag only: odd parity
        {0, CS5, 2, 2, CS5 | PARENB | CSTOPB},
        {CSTOPB, CS6, 0, 0, CS6},
    };
    Pty &pty = attach("/dev/ttyS1");
    for (const LineCase &c : cases) {
        termios t = pty.settings();
        t.c_cflag &= ~(PARENB | PARODD | CSTOPB);
        t.c_cflag |= c.before_set;
        tcsetattr(pty.slave, TCSANOW, &t);
        const int fd = sio_open("/dev/ttyS1", B9600, c.cflags, c.parity, c.stop);
        ASSERT_GT(fd, 0);
        // A pseudo-terminal keeps CS8 and no parity generation whatever it is
        // told; it keeps the odd flag and the stop bits, so those are read back
        // from the terminal and the rest from what the port layer applied.
        constexpr tcflag_t line = PARENB | PARODD | CSTOPB | CSIZE;
        ASSERT_NE(sio_list, nullptr);
        EXPECT_EQ(sio_list->settings->c_cflag & line, c.expect_set) << c.parity << " " << c.stop;
        EXPECT_EQ(pty.settings().c_cflag & (PARODD | CSTOPB), c.expect_set & (PARODD | CSTOPB))
            << c.parity << " " << c.stop;
        EXPECT_EQ(sio_close(fd), 0);
    }
}

TEST_F(Sio, CloseRestoresTheSettingsThePortHad)
{
    Pty &pty = attach("/dev/ttyS2");
    termios before = pty.settings();
    cfsetospeed(&before, B2400);
    cfsetispeed(&before, B2400);
    before.c_lflag |= ECHO | ICANON;
    before.c_cc[VMIN] = 7;
    tcsetattr(pty.slave, TCSANOW, &before);
    before = pty.settings();

    const int fd = sio_open("/dev/ttyS2", B115200, CS8, 0, 0);
    ASSERT_GT(fd, 0);
    const termios during = pty.settings();
    EXPECT_NE(std::memcmp(&before, &during, sizeof(termios)), 0);
    EXPECT_EQ(sio_close(fd), 0);
    const termios after = pty.settings();
    EXPECT_EQ(cfgetospeed(&after), B2400);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cc[VMIN], 7);
    EXPECT_EQ(sio_list, nullptr);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1); // closed
}

TEST_F(Sio, SamePathOpenedTwiceIsOneElement)
{
    attach("/dev/ttyS0");
    const int first = sio_open("/dev/ttyS0", B9600, CS8, 0, 0);
    std::string same_path = "/dev/ttyS0"; // another string with the same text
    const int second = sio_open(same_path.c_str(), B19200, CS7, 0, 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(list_length(), 1u);
    EXPECT_EQ(sim().opens.size(), 1u);
}

TEST_F(Sio, RejectedParityOrStopLeavesNothingBehind)
{
    Pty &pty = attach("/dev/ttyS3");
    const termios before = pty.settings();
    for (auto [parity, stop] :
         {std::pair{3, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, 3}}) {
        EXPECT_EQ(sio_open("/dev/ttyS3", B9600, CS8, parity, stop), 0);
        EXPECT_EQ(sio_list, nullptr);
        EXPECT_EQ(pty.settings().c_lflag, before.c_lflag); // settings put back
    }
}

TEST_F(Sio, MissingDeviceOpensNothing)
{
    EXPECT_EQ(sio_open("/dev/ttyS30", B9600, CS8, 0, 0), 0);
    EXPECT_EQ(sio_open(nullptr, B9600, CS8, 0, 0), 0);
    EXPECT_EQ(sio_list, nullptr);
}

TEST_F(Sio, SettersChangeTheTerminal)
{
    Pty &pty = attach("/dev/ttyS0");
    const int fd = sio_open("/dev/ttyS0", B9600, CS8, 0, 0);
    sio_set_canon(fd);
    EXPECT_TRUE(pty.settings().c_lflag & ICANON);
    EXPECT_TRUE(pty.settings().c_iflag & ICRNL);
    sio_set_noncan(fd);
    EXPECT_FALSE(pty.settings().c_lflag & ICANON);
    EXPECT_FALSE(pty.settings().c_iflag & ICRNL);
    sio_set_timer(fd, 0, 5);
    EXPECT_EQ(pty.settings().c_cc[VMIN], 0);
    EXPECT_EQ(pty.settings().c_cc[VTIME], 5);
}

TEST_F(Sio, ReadTimerEndsAReadWithNothing)
{
    attach("/dev/ttyS0");
    const int fd = sio_open("/dev/ttyS0", B9600, CS8, 0, 0);
    sio_set_timer(fd, 0, 2); // two tenths of a second
    char c;
    EXPECT_EQ(::read(fd, &c, 1), 0);
}

TEST_F(Sio, SetBaudSendsOneCarriageReturn)
{
    Pty &pty = attach("/dev/ttyS0");
    const int fd = sio_open("/dev/ttyS0", B9600, CS8, 0, 0);
    EXPECT_EQ(sio_set_baud(fd, B57600), 0);
    EXPECT_EQ(pty.taken(), "\r");
    const termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), B57600);
}

TEST_F(Sio, DescriptorsNotOpenedHereAreRefused)
{
    Pty &pty = attach("/dev/ttyS0");
    const termios before = pty.settings();
    EXPECT_EQ(sio_close(pty.slave), -1);
    EXPECT_EQ(sio_set_baud(pty.slave, B9600), -1);
    sio_set_timer(pty.slave, 3, 3);
    sio_set_canon(pty.slave);
    sio_set_noncan(pty.slave);
    EXPECT_EQ(sio_list, nullptr);
    const termios after = pty.settings();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(termios)), 0);
    EXPECT_NE(fcntl(pty.slave, F_GETFD), -1); // still open
}

TEST_F(Sio, ListTrimsHeadMiddleAndTail)
{
    for (int victim : {10, 20, 30}) {
        for (int fd : {10, 20, 30})
            ASSERT_NE(slotio::_sio_follow(fd), nullptr);
        EXPECT_EQ(slotio::_sio_trim(victim), 0);
        std::vector<int> left;
        for (auto *e = sio_list; e; e = e->next)
            left.push_back(e->fd);
        std::vector<int> expected = {10, 20, 30};
        std::erase(expected, victim);
        EXPECT_EQ(left, expected) << victim;
        for (int fd : expected)
            slotio::_sio_trim(fd);
        EXPECT_EQ(sio_list, nullptr);
    }
    EXPECT_EQ(slotio::_sio_trim(10), -1); // empty list
    slotio::_sio_follow(10);
    EXPECT_EQ(slotio::_sio_trim(11), -1); // no such element
    EXPECT_EQ(list_length(), 1u);
    EXPECT_EQ(slotio::_sio_follow(10), sio_list); // found, not created again
    EXPECT_EQ(slotio::_sio_trim(10), 0);
    EXPECT_EQ(sio_list, nullptr);
}

} // namespace
