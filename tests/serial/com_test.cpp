// The COM port API: port numbers and devices, line settings, result codes,
// command and raw exchanges on real pseudo-terminals.
#include "serial/msw.h"
#include "serial/pty_fixture.h"

#include <climits>
#include <cstring>

using namespace slotio_test;

namespace {

class Com : public SerialTest {
  protected:
    void SetUp() override
    {
        SerialTest::SetUp();
        slotio::_fd.fill(0);
    }
    void TearDown() override
    {
        slotio::_fd.fill(0);
        SerialTest::TearDown();
    }
    // Output of the checksum routines goes to standard output; keep it apart.
    template <typename F> auto quietly(F f)
    {
        testing::internal::CaptureStdout();
        auto r = f();
        testing::internal::GetCapturedStdout();
        return r;
    }
};

struct PortCase {
    signed char port;
    const char *device;
};

TEST_F(Com, PortNumbersMapToDevices)
{
    const PortCase cases[] = {{1, "/dev/ttySA0"},  {2, "/dev/ttyS0"},   {3, "/dev/ttyS1"},
                              {12, "/dev/ttyS10"}, {36, "/dev/ttyS34"}, {37, "/dev/ttySA1"}};
    for (const PortCase &c : cases) {
        attach(c.device);
        sim().clear();
        EXPECT_EQ(Open_Com(c.port, 9600, 8, 0, 0), 0) << int(c.port);
        ASSERT_EQ(sim().opens.size(), 1u);
        EXPECT_EQ(sim().opens[0].path, c.device);
        EXPECT_GT(slotio::_fd[c.port - 1], 0);
        EXPECT_EQ(Close_Com(c.port), 0);
        EXPECT_EQ(slotio::_fd[c.port - 1], 0);
    }
}

struct OpenCase {
    signed char port;
    unsigned rate;
    signed char bits, parity, stop;
    unsigned short result;
};

TEST_F(Com, OpenChecksItsArgumentsInOrder)
{
    attach("/dev/ttyS0");
    const OpenCase cases[] = {
        {0, 9600, 8, 0, 0, 2},   {38, 9600, 8, 0, 0, 2}, {-1, 9600, 8, 0, 0, 2},
        {2, 300, 9, 3, 1, 3},    {2, 9600, 9, 3, 1, 1},  {2, 9600, 4, 0, 0, 1},
        {2, 9600, 8, 3, 0, 1},   {2, 9600, 8, -1, 0, 1}, {2, 9600, 8, 0, 1, 1},
        {2, 115201, 8, 0, 0, 3}, {3, 9600, 8, 0, 0, 2}, // ttyS1: no such device
    };
    for (const OpenCase &c : cases)
        EXPECT_EQ(Open_Com(c.port, c.rate, c.bits, c.parity, c.stop), c.result)
            << int(c.port) << " " << c.rate << " " << int(c.bits) << " " << int(c.parity) << " "
            << int(c.stop);
    EXPECT_EQ(slotio::_fd[1], 0);
}

TEST_F(Com, RatesAndDataBits)
{
    Pty &pty = attach("/dev/ttyS0");
    const std::pair<unsigned, speed_t> rates[] = {
        {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (auto [bps, code] : rates) {
        ASSERT_EQ(Open_Com(2, bps, 7, 0, 2), 0);
        const termios t = pty.settings();
        EXPECT_EQ(cfgetospeed(&t), code) << bps;
        EXPECT_TRUE(t.c_cflag & CSTOPB);
        EXPECT_EQ(slotio::sio_list->settings->c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
        EXPECT_EQ(Close_Com(2), 0);
    }
}

TEST_F(Com, CallsOnAPortThatIsNotOpenAreRefused)
{
    char reply[251];
    unsigned short elapsed = 0;
    // In range but never opened: refused, never descriptor 0 (standard input).
    for (signed char port : {2, 38, 50}) {
        EXPECT_EQ(Close_Com(port), 2);
        EXPECT_EQ(Send_Cmd(port, "$00M", 0), 2);
        EXPECT_EQ(Receive_Cmd(port, reply, 1, 0), 2);
        EXPECT_EQ(Send_Receive_Cmd(port, "$00M", reply, 1, 0, &elapsed), 2);
        EXPECT_EQ(Send_Binary(port, "x", 1), 2);
        EXPECT_EQ(Receive_Binary(port, reply, 1, 4, nullptr), 2);
        EXPECT_EQ(Send_Receive(port, "x", 1, reply, 4, 5, &elapsed), 2);
    }
    for (signed char port : {0, 51, -5, SCHAR_MIN})
        EXPECT_EQ(Close_Com(port), 2);
    attach("/dev/ttyS0");
    ASSERT_EQ(Open_Com(2, 9600, 8, 0, 0), 0);
    EXPECT_EQ(Close_Com(2), 0);
    EXPECT_EQ(Close_Com(2), 2); // closed now
}

class OpenPort : public Com {
  protected:
    Pty *pty = nullptr;
    void SetUp() override
    {
        Com::SetUp();
        pty = &attach("/dev/ttySA0");
        ASSERT_EQ(Open_Com(1, 115200, 8, 0, 0), 0);
    }
};

TEST_F(OpenPort, SendCmdFramesTheCommand)
{
    EXPECT_EQ(Send_Cmd(1, "$01M", 0), 0);
    EXPECT_EQ(pty->taken(), "$01M\r");
    EXPECT_EQ(quietly([] { return Send_Cmd(1, "$00M\rtail", 1); }), 0);
    EXPECT_EQ(pty->taken(), "$00MD1\r");
    const std::string too_long(251, 'A'), long_for_checksum(200, 'A');
    EXPECT_EQ(Send_Cmd(1, too_long.c_str(), 0), 1);
    EXPECT_EQ(quietly([&] { return Send_Cmd(1, long_for_checksum.c_str(), 1); }), 65535);
    EXPECT_EQ(pty->taken(), "");
    EXPECT_EQ(Send_Cmd(1, std::string(250, 'B').c_str(), 0), 0);
    EXPECT_EQ(pty->taken(), std::string(250, 'B') + "\r");
}

TEST_F(OpenPort, SendReceiveCmdStripsTheCr)
{
    pty->answer("!0ABD4\r");
    char reply[251];
    unsigned short elapsed = 0;
    EXPECT_EQ(quietly([&] { return Send_Receive_Cmd(1, "$00M", reply, 10, 1, &elapsed); }), 0);
    EXPECT_STREQ(reply, "!0ABD4");
    pty->wait();
    EXPECT_EQ(pty->heard, "$00MD1\r");
    pty->send_when_timer_is(9, "!01\r");
    EXPECT_EQ(Receive_Cmd(1, reply, 9, 0), 0);
    EXPECT_STREQ(reply, "!01\r"); // Receive_Cmd keeps it
}

TEST_F(OpenPort, TimeOutsAndWhatTheReplyHoldsThen)
{
    char reply[251];
    std::memset(reply, 'x', sizeof reply);
    unsigned short elapsed = 0;
    EXPECT_EQ(Send_Receive_Cmd(1, "$00M", reply, 1, 0, &elapsed), 15);
    EXPECT_STREQ(reply, "");
    // The far end answers from another thread: the time-outs below leave it
    // ample time even on a loaded machine.
    pty->answer("!0A"); // cut short
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(Send_Receive_Cmd(1, "$00M", reply, 8, 0, &elapsed), 15);
    EXPECT_STREQ(reply, "!0A");
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(Send_Receive_Cmd(1, std::string(251, 'A').c_str(), reply, 1, 0, &elapsed), 1);
    EXPECT_STREQ(reply, "");
    pty->send_when_timer_is(6, "!0");
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(quietly([&] { return Receive_Cmd(1, reply, 6, 1); }), 15);
    EXPECT_STREQ(reply, "!0");
}

TEST_F(OpenPort, TimeOutIsTheLowByteOfTheArgument)
{
    char reply[251];
    unsigned short elapsed = 0;
    pty->answer("!\r");
    EXPECT_EQ(Send_Receive_Cmd(1, "$00M", reply, 266, 0, &elapsed), 0);
    EXPECT_EQ(pty->settings().c_cc[VTIME], 10);
    EXPECT_EQ(pty->settings().c_cc[VMIN], 0);
}

TEST_F(OpenPort, ChecksumMismatchStoresTheTimeTaken)
{
    pty->answer("!0ABD5\r");
    char reply[251];
    unsigned short elapsed = 65535;
    sim().request_time_us = 7; // every read and write takes 7 virtual microseconds
    EXPECT_EQ(quietly([&] { return Send_Receive_Cmd(1, "$00M", reply, 10, 1, &elapsed); }), 1);
    EXPECT_STREQ(reply, "!0ABD5");
    EXPECT_GT(elapsed, 0);
    EXPECT_LT(elapsed, 65535);
}

TEST_F(OpenPort, BinaryExchanges)
{
    const char data[] = {'\x01', '\x00', '\xff', 'z'};
    EXPECT_EQ(Send_Binary(1, data, 4), 4);
    EXPECT_EQ(pty->taken(), std::string(data, 4));
    EXPECT_EQ(Send_Binary(1, data, -1), 65535);

    pty->send_when_timer_is(5, std::string("\x10\x00\x20", 3));
    char buffer[9];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(Receive_Binary(1, buffer, 5, 8, nullptr), 0);
    EXPECT_EQ(std::string(buffer, 4), std::string("\x10\x00\x20\x00", 4));
    EXPECT_EQ(Receive_Binary(1, buffer, 1, 8, nullptr), 15);
}

TEST_F(OpenPort, SendReceiveCollectsUntilFullOrTimeOut)
{
    char reply[8];
    unsigned short elapsed = 999;
    EXPECT_EQ(Send_Receive(1, "ab", 2, reply, 0, 50, &elapsed), 0);
    EXPECT_EQ(pty->taken(), "ab");
    pty->answer("0123456789", "q");
    EXPECT_EQ(Send_Receive(1, "q", 1, reply, 8, 50000, &elapsed), 8);
    EXPECT_EQ(std::string(reply, 8), "01234567");
    // The two bytes left were discarded with the timer's flush: nothing comes,
    // and the virtual clock runs out the 3 ms.
    pty->wait();
    EXPECT_EQ(Send_Receive(1, "q", 1, reply, 8, 3, &elapsed), 0);
    EXPECT_GE(elapsed, 4);
    EXPECT_EQ(pty->settings().c_cc[VTIME], 0);
}

} // namespace
