// The simulated remote serial modules on their own: framing, checksums,
// addresses, reply delays, faults and the slot test fixture, bytes in and
// bytes out on explicit time, no terminal involved.
#include "sim/model/controller.h"
#include "sim/model/remote_module.h"
#include "slotio.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using pacsim::RemoteBus;
using pacsim::RemoteFault;
using pacsim::RemoteModule;
using pacsim::RemoteModuleConfig;

constexpr int64_t t0 = 1'000'000;
constexpr int64_t far_later = t0 + 3'600'000'000; // every reply is due by then

RemoteModule module(int address, std::string name, RemoteFault fault = RemoteFault::none,
                    int64_t delay_us = 5000)
{
    RemoteModuleConfig c;
    c.address = address;
    c.name = std::move(name);
    c.fault = fault;
    c.reply_delay_us = delay_us;
    return RemoteModule(c);
}

// A line with three modules and the trace notes it makes.
struct Line {
    RemoteBus bus;
    std::vector<std::string> notes;
    Line()
    {
        EXPECT_TRUE(bus.attach(module(0x00, "4017")));
        EXPECT_TRUE(bus.attach(module(0x01, "4050")));
        EXPECT_TRUE(bus.attach(module(0x1f, "4060")));
        bus.log = [this](const std::string &text) { notes.push_back(text); };
    }
    // Everything the modules send back for `bytes`, however long it takes.
    std::string exchange(const std::string &bytes)
    {
        bus.receive(bytes, t0);
        return bus.take_due(far_later);
    }
};

TEST(ComDevice, PathsFollowThePortNumber)
{
    const std::pair<int, const char *> cases[] = {
        {1, "/dev/ttySA0"},
        {2, "/dev/ttyS0"},
        {3, "/dev/ttyS1"},
        {12, "/dev/ttyS10"},
        {36, "/dev/ttyS34"},
        {37, "/dev/ttySA1"},
        {0, ""},
        {38, ""},
        {-1, ""},
    };
    for (const auto &[port, path] : cases)
        EXPECT_EQ(pacsim::com_device(port), path) << port;
}

TEST(RemoteModule, ChecksumIsTheByteSumInUpperCaseHex)
{
    const std::pair<std::string, const char *> cases[] = {
        {"$00M", "D1"},         {"!004017", "4D"}, {"", "00"},
        {"\xff\x02", "01"},     {"!0A", "92"},     {std::string(256, '\x01'), "00"},
        {"\x80\x80\x01", "01"},
    };
    for (const auto &[text, sum] : cases)
        EXPECT_EQ(pacsim::ascii_checksum(text), sum) << text;
}

struct ExchangeCase {
    std::string in;
    std::string out;
};

TEST(RemoteModule, AnswersCommandsToItsAddressOnly)
{
    const ExchangeCase cases[] = {
        // The name command, without and with checksum.
        {"$00M\r", "!004017\r"},
        {"$00MD1\r", "!0040174D\r"},
        {"$01M\r", "!014050\r"},
        {"$01MD2\r", "!0140504B\r"},
        // Addresses in either case; replies in upper case.
        {"$1FM\r", "!1F4060\r"},
        {"$1fM\r", "!1F4060\r"},
        {"$1FME8\r", "!1F406062\r"},
        // Nobody at address 02.
        {"$02M\r", ""},
        // A wrong checksum gets no answer at all.
        {"$00MD2\r", ""},
        {"$00M00\r", ""},
        // Unknown commands: "?AA", with checksum when the command had one.
        {"$00X\r", "?00\r"},
        {"$00XDC\r", "?009F\r"},
        {"$00\r", "?00\r"},
        {"$0084\r", "?009F\r"},
        {"$01MM\r", "?01\r"},
        // Lower-case digits are no checksum: an unknown command.
        {"$00Md1\r", "?00\r"},
        // No command at all.
        {"\r", ""},
        {"garbage\r", ""},
        {"#00M\r", ""},
        {"$0\r", ""},
        {"$G0M\r", ""},
        {"$0GM\r", ""},
        {"M\r", ""},
        // No CR, no command yet.
        {"$00M", ""},
        // LF is skipped, so CR LF works.
        {"$00M\r\n", "!004017\r"},
        {"\n$00M\n\r", "!004017\r"},
        // Two commands in one write, answered in order.
        {"$00M\r$01M\r", "!004017\r!014050\r"},
        // A command after noise on the line.
        {"xx\r$00M\r", "!004017\r"},
    };
    for (const ExchangeCase &c : cases) {
        Line line;
        EXPECT_EQ(line.exchange(c.in), c.out) << pacsim::quoted(c.in);
    }
}

TEST(RemoteModule, CommandsMayArriveByteByByte)
{
    Line line;
    for (char c : std::string("$01MD2\r"))
        line.bus.receive(std::string(1, c), t0);
    EXPECT_EQ(line.bus.take_due(far_later), "!0140504B\r");
    line.bus.receive("$0", t0);
    line.bus.receive("0M", t0);
    EXPECT_EQ(line.bus.take_due(far_later), "");
    line.bus.receive("\r", t0);
    EXPECT_EQ(line.bus.take_due(far_later), "!004017\r");
}

TEST(RemoteModule, RepliesFallDueAfterEachModulesDelay)
{
    RemoteBus bus;
    ASSERT_TRUE(bus.attach(module(0, "slow", RemoteFault::none, 20'000)));
    ASSERT_TRUE(bus.attach(module(1, "fast", RemoteFault::none, 1'000)));
    ASSERT_TRUE(bus.attach(module(2, "instant", RemoteFault::none, 0)));
    EXPECT_FALSE(bus.next_due());

    bus.receive("$00M\r", t0);
    bus.receive("$01M\r", t0 + 100);
    ASSERT_TRUE(bus.next_due());
    EXPECT_EQ(*bus.next_due(), t0 + 1'100);
    EXPECT_EQ(bus.take_due(t0 + 1'099), "");
    EXPECT_EQ(bus.take_due(t0 + 1'100), "!01fast\r");
    EXPECT_EQ(*bus.next_due(), t0 + 20'000);
    EXPECT_EQ(bus.take_due(t0 + 19'999), "");
    bus.receive("$02M\r", t0 + 19'999);
    EXPECT_EQ(bus.take_due(t0 + 19'999), "!02instant\r");
    EXPECT_EQ(bus.take_due(t0 + 20'000), "!00slow\r");
    EXPECT_FALSE(bus.next_due());
    EXPECT_EQ(bus.take_due(far_later), "");
}

TEST(RemoteModule, EqualDueTimesKeepTheOrderOfTheCommands)
{
    RemoteBus bus;
    ASSERT_TRUE(bus.attach(module(0, "a")));
    ASSERT_TRUE(bus.attach(module(1, "b")));
    bus.receive("$01M\r$00M\r$01X\r", t0);
    EXPECT_EQ(bus.take_due(t0 + 5'000), "!01b\r!00a\r?01\r");
}

TEST(RemoteModule, EachAddressHasOneModule)
{
    RemoteBus bus;
    EXPECT_TRUE(bus.attach(module(7, "first")));
    EXPECT_FALSE(bus.attach(module(7, "second")));
    EXPECT_TRUE(bus.attach(module(8, "third")));
    ASSERT_EQ(bus.modules().size(), 2u);
    bus.receive("$07M\r", t0);
    EXPECT_EQ(bus.take_due(far_later), "!07first\r");
}

struct FaultCase {
    RemoteFault fault;
    std::string plain;   // reply to "$00M\r"
    std::string checked; // reply to "$00MD1\r"
    std::string unknown; // reply to "$00XDC\r"
};

TEST(RemoteModule, FaultsSpoilEveryReplyTheirOwnWay)
{
    const FaultCase cases[] = {
        {RemoteFault::none, "!004017\r", "!0040174D\r", "?009F\r"},
        {RemoteFault::silent, "", "", ""},
        // Only a checksum can be wrong; one more than it should be.
        {RemoteFault::bad_checksum, "!004017\r", "!0040174E\r", "?00A0\r"},
        // The first half of the characters before the CR.
        {RemoteFault::cut_short, "!00", "!004", "?0"},
        {RemoteFault::no_cr, "!004017", "!0040174D", "?009F"},
        {RemoteFault::garbage, "!004017\r\xA5~\xFEZ", "!0040174D\r\xA5~\xFEZ", "?009F\r\xA5~\xFEZ"},
    };
    for (const FaultCase &c : cases) {
        RemoteBus bus;
        ASSERT_TRUE(bus.attach(module(0, "4017", c.fault)));
        const char *name = pacsim::fault_name(c.fault);
        bus.receive("$00M\r", t0);
        // A silent module schedules nothing.
        EXPECT_EQ(bus.next_due().has_value(), !c.plain.empty()) << name;
        EXPECT_EQ(bus.take_due(far_later), c.plain) << name;
        bus.receive("$00MD1\r", t0);
        EXPECT_EQ(bus.take_due(far_later), c.checked) << name;
        bus.receive("$00XDC\r", t0);
        EXPECT_EQ(bus.take_due(far_later), c.unknown) << name;
    }
}

TEST(RemoteModule, BadChecksumWrapsAtFF)
{
    // "!004045-S1" sums to 0xFF: one more is 00.
    RemoteModuleConfig c;
    c.slot_fixture = true;
    c.fault = RemoteFault::bad_checksum;
    RemoteBus bus;
    ASSERT_TRUE(bus.attach(RemoteModule(c)));
    bus.selected_mask = [] { return 1u << 2; };
    bus.receive("$00MD1\r", t0);
    EXPECT_EQ(bus.take_due(far_later), "!004045-S100\r");
}

TEST(RemoteModule, FaultNamesReadBack)
{
    for (RemoteFault f : {RemoteFault::none, RemoteFault::silent, RemoteFault::bad_checksum,
                          RemoteFault::cut_short, RemoteFault::no_cr, RemoteFault::garbage}) {
        RemoteFault parsed = RemoteFault::none;
        ASSERT_TRUE(pacsim::parse_fault(pacsim::fault_name(f), parsed));
        EXPECT_EQ(parsed, f);
    }
    RemoteFault parsed = RemoteFault::silent;
    EXPECT_FALSE(pacsim::parse_fault("Silent", parsed));
    EXPECT_FALSE(pacsim::parse_fault("", parsed));
    EXPECT_EQ(parsed, RemoteFault::silent);
}

TEST(SlotFixture, NamesTheLowestSelectedSlotMinusOne)
{
    const std::pair<uint32_t, const char *> cases[] = {
        {1u << 1, "4045-S0"},
        {1u << 2, "4045-S1"},
        {1u << 5, "4045-S4"},
        {1u << 8, "4045-S7"},
        {0x14, "4045-S1"},
        {0xffffff00, "4045-S7"},
        // No module slot selected: nothing, the controller, the backplane,
        // the interrupt device, a bit beyond them.
        {0, "4045-S?"},
        {1u << 0, "4045-S?"},
        {1u << 9, "4045-S?"},
        {1u << 10, "4045-S?"},
        {1u << 31, "4045-S?"},
    };
    for (const auto &[mask, name] : cases)
        EXPECT_EQ(pacsim::slot_fixture_name(mask), name) << mask;
}

TEST(SlotFixture, AnswersTheSlotTheControllerSelected)
{
    pacsim::Controller controller;
    RemoteModuleConfig c;
    c.address = 0;
    c.slot_fixture = true;
    RemoteBus bus;
    ASSERT_TRUE(bus.attach(RemoteModule(c)));
    bus.selected_mask = [&controller] { return controller.selected_mask(); };

    bus.receive("$00M\r", t0);
    EXPECT_EQ(bus.take_due(far_later), "!004045-S?\r");
    for (int slot = 1; slot <= 8; ++slot) {
        uint32_t words[8] = {};
        words[pacsim::word_value] = 1u << slot; // what ChangeToSlot sends
        ASSERT_EQ(controller.request(0, SLOT_SELECT, words), 0);
        bus.receive("$00M\r", t0);
        EXPECT_EQ(bus.take_due(far_later), "!004045-S" + std::to_string(slot - 1) + "\r");
    }
    uint32_t words[8] = {};
    words[pacsim::word_value] = 1u << 2;
    ASSERT_EQ(controller.request(0, SLOT_SELECT, words), 0);
    bus.receive("$00MD1\r", t0);
    EXPECT_EQ(bus.take_due(far_later), "!004045-S1FF\r");
}

TEST(SlotFixture, NamesTheSlotSelectedWhenTheCommandCame)
{
    uint32_t mask = 1u << 3;
    RemoteModuleConfig c;
    c.slot_fixture = true;
    RemoteBus bus;
    ASSERT_TRUE(bus.attach(RemoteModule(c)));
    bus.selected_mask = [&mask] { return mask; };
    bus.receive("$00M\r", t0);
    mask = 1u << 4; // while the reply is on its way
    EXPECT_EQ(bus.take_due(far_later), "!004045-S2\r");
}

TEST(RemoteModule, TraceShowsEachCommandAndWhatCameOfIt)
{
    Line line;
    ASSERT_TRUE(line.bus.attach(module(0x20, "4017", RemoteFault::no_cr)));
    ASSERT_TRUE(line.bus.attach(module(0x21, "4017", RemoteFault::silent)));
    line.exchange("$00MD1\r$05M\r$00MD2\rx\"\\\x01\r\r$20M\r$21M\r$01Q\r");
    const std::vector<std::string> expected = {
        R"("$00MD1\r" -> "!0040174D\r")",
        R"("$05M\r" -> no answer: no module at address 05)",
        R"("$00MD2\r" -> no answer: checksum D2, expected D1)",
        R"("x\"\\\x01\r" -> ignored: not a command)",
        R"("\r" -> ignored: not a command)",
        R"("$20M\r" -> "!204017" (fault no_cr))",
        R"("$21M\r" -> no answer: fault silent)",
        R"("$01Q\r" -> "?01\r")",
    };
    EXPECT_EQ(line.notes, expected);
}

TEST(RemoteModule, OverlongLinesAreDroppedUpToTheNextCr)
{
    Line line;
    // The longest line still taken: "$01" and padding, 256 characters.
    EXPECT_EQ(line.exchange("$01" + std::string(pacsim::RemoteBus::max_line - 3, 'Z') + "\r"),
              "?01\r");
    // One more and the line is thrown away, then the next command is answered.
    EXPECT_EQ(line.exchange("$01" + std::string(pacsim::RemoteBus::max_line - 2, 'Z') + "\r"), "");
    EXPECT_EQ(line.notes.back(), "line of more than 256 characters without CR dropped");
    EXPECT_EQ(line.exchange(std::string(100'000, '$') + "\r$00M\r"), "!004017\r");
}

TEST(RemoteModule, NoiseNeverBreaksTheLine)
{
    Line line;
    std::string every_byte;
    for (int b = 0; b < 256; ++b)
        every_byte += static_cast<char>(b);
    line.exchange(every_byte + every_byte);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        std::string noise;
        const int length = byte(random) * 4;
        for (int i = 0; i < length; ++i)
            noise += static_cast<char>(byte(random));
        line.exchange(noise);
    }
    // Whatever came before, a CR ends it and the line works again.
    line.exchange("\r");
    EXPECT_EQ(line.exchange("$01MD2\r"), "!0140504B\r");
}

TEST(RemoteModule, QuotedShowsEveryByteReadably)
{
    const std::pair<std::string, const char *> cases[] = {
        {"$00M\r", R"("$00M\r")"},
        {"a\nb", R"("a\nb")"},
        {std::string("\x00\x7f\xff", 3), R"("\x00\x7F\xFF")"},
        {"say \"hi\" \\", R"("say \"hi\" \\")"},
        {"", R"("")"},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(pacsim::quoted(bytes), text);
}

} // namespace
