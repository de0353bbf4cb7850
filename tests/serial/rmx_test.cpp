// The remote-module ASCII protocol: framing, checksums, and exchanges on a
// real pseudo-terminal.
#include "serial/pty_fixture.h"

#include <cstring>

using namespace slotio_test;

namespace {

std::string hex(const std::string &bytes)
{
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", c);
        out += buf;
    }
    return out;
}

TEST(RmxFraming, ChecksumFrameAndItsTraceLines)
{
    char frame[128];
    testing::internal::CaptureStdout();
    _rmx_gum_chksum(frame, "$00M");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "In lib _rmx_gum_chksum q is 36\n"
                       "In lib _rmx_gum_chksum q is 48\n"
                       "In lib _rmx_gum_chksum q is 48\n"
                       "In lib _rmx_gum_chksum q is 77\n");
    EXPECT_EQ(hex(frame), "24 30 30 4D 44 31 0D");
}

struct FrameCase {
    const char *command;
    const char *cr_frame;
    const char *checksum_frame;
};

TEST(RmxFraming, CommandsEndAtTheirFirstCrOrLf)
{
    const FrameCase cases[] = {
        {"$00M", "$00M\r", "$00MD1\r"},
        {"$00M\r", "$00M\r", "$00MD1\r"},
        {"$00M\ngarbage", "$00M\r", "$00MD1\r"},
        {"", "\r", "00\r"},
        {"#01\xc8", "#01\xc8\r",
         "#01\xc8"
         "4C\r"}, // a code above 127 adds as a byte: 0x14C
    };
    for (const FrameCase &c : cases) {
        char frame[128];
        EXPECT_STREQ(_rmx_gum_cr(frame, c.command), c.cr_frame) << hex(c.command);
        testing::internal::CaptureStdout();
        const std::string framed = _rmx_gum_chksum(frame, c.command);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(framed, c.checksum_frame) << hex(c.command);
    }
}

struct CheckCase {
    const char *reply;
    int result;
};

TEST(RmxFraming, ReplyChecksums)
{
    const CheckCase cases[] = {
        {"\x21\x30\x41\x42\x44\x34\x0d", 0},  // !0ABD4
        {"\x21\x30\x41\x42\x64\x34\x0d", -1}, // lower-case digit
        {"\x21\x30\x41\x42\x44\x35\x0d", -1},
        {"!0ABD4", 0}, // ends at the NUL
        {"!0ABD4\nxx", 0},
        {"00\r", 0}, // an empty reply's checksum
        {"0\r", -1}, // fewer than two characters before the end
        {"\r", -1},
        {"", -1},
    };
    for (const CheckCase &c : cases) {
        testing::internal::CaptureStdout();
        const int result = _rmx_chksum(c.reply);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, c.result) << hex(c.reply);
        EXPECT_EQ(printed, std::string("In lib _rmx_chksum string is ") + c.reply + "\n");
    }
}

class RmxExchange : public SerialTest {
  protected:
    Pty *pty = nullptr;
    int fd = -1;
    void SetUp() override
    {
        SerialTest::SetUp();
        pty = &attach("/dev/ttyS0");
        fd = sio_open("/dev/ttyS0", B115200, CS8, 0, 0);
        ASSERT_GT(fd, 0);
        sio_set_timer(fd, 0, 2);            // reads give up after 0.2 s without a character
        testing::internal::CaptureStdout(); // the checksum trace lines
    }
    void TearDown() override
    {
        testing::internal::GetCapturedStdout();
        SerialTest::TearDown();
    }
};

TEST_F(RmxExchange, SendReadWithChecksum)
{
    pty->put("!0ABD4\r");
    char reply[32];
    int64_t elapsed = -1;
    EXPECT_EQ(rmx_send_readt_cs(fd, "$00M", reply, 30, &elapsed), 7);
    EXPECT_STREQ(reply, "!0ABD4\r");
    EXPECT_GE(elapsed, 0);
    EXPECT_EQ(pty->taken(), "$00MD1\r");
}

TEST_F(RmxExchange, ChecksumCommandLengthLimit)
{
    const std::string longest(124, 'A'), too_long(125, 'A');
    char reply[8];
    int64_t elapsed = -1;
    EXPECT_EQ(rmx_send_cs(fd, too_long.c_str()), -1);
    EXPECT_EQ(rmx_send_readt_cs(fd, too_long.c_str(), reply, 4, &elapsed), -1);
    EXPECT_GE(elapsed, 0);
    EXPECT_EQ(pty->taken(), "");
    EXPECT_EQ(rmx_send_cs(fd, longest.c_str()), 0);
    EXPECT_EQ(pty->taken().size(), 127u);
    EXPECT_EQ(rmx_send(fd, (too_long + "\r").c_str()), 0); // no limit without checksum
    EXPECT_EQ(pty->taken(), too_long + "\r");
}

TEST_F(RmxExchange, CharacterLoopStopsAtTheBufferSize)
{
    pty->put("ABCDEFG\r");
    char reply[8];
    std::memset(reply, 'x', sizeof reply);
    int64_t elapsed = -1;
    EXPECT_EQ(rmx_readt(fd, reply, 5, &elapsed), 5);
    EXPECT_STREQ(reply, "ABCDE");
}

TEST_F(RmxExchange, TimeOutAfterSomeCharactersLeavesThemUnterminated)
{
    pty->put("AB");
    char reply[8];
    std::memset(reply, 'x', sizeof reply);
    int64_t elapsed = -1;
    EXPECT_EQ(rmx_send_readt(fd, "$00M\r", reply, 7, &elapsed), 0);
    EXPECT_EQ(std::string(reply, 3), "ABx");
    EXPECT_GE(elapsed, 0);
}

TEST_F(RmxExchange, WrongReplyChecksumLeavesTheElapsedTime)
{
    pty->put("!0ABD5\r");
    char reply[16];
    int64_t elapsed = 12345;
    EXPECT_EQ(rmx_readt_cs(fd, reply, 15, &elapsed), -1);
    EXPECT_EQ(elapsed, 12345);
    EXPECT_STREQ(reply, "!0ABD5\r");
}

TEST_F(RmxExchange, OneReadTakesWhatHasArrived)
{
    pty->put("!01");
    char reply[16];
    usleep(20000);
    EXPECT_EQ(rmx_send_read(fd, "$01M\r", reply, 15), 3);
    EXPECT_STREQ(reply, "!01");
    EXPECT_EQ(rmx_read(fd, reply, 15), 0); // time-out
    EXPECT_STREQ(reply, "");
    pty->put("!01ABD4\r");
    usleep(20000);
    EXPECT_EQ(rmx_read_cs(fd, reply, 15), -1); // 0x21+0x30+0x31+0x41+0x42 is 0xE5
    pty->put("!0ABD4\r");
    usleep(20000);
    EXPECT_EQ(rmx_send_read_cs(fd, "$00M", reply, 15), 7);
    EXPECT_EQ(rmx_read_cs(fd, reply, 15), -1); // nothing came: no checksum to check
}

TEST_F(RmxExchange, ClosedDescriptorFails)
{
    char reply[8];
    int64_t elapsed = -1;
    EXPECT_EQ(rmx_send(-1, "x"), -1);
    EXPECT_EQ(rmx_read(-1, reply, 7), -1);
    EXPECT_EQ(rmx_readt(-1, reply, 7, &elapsed), -1);
}

} // namespace
