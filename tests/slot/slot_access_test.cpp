// Slot devices, the request record and register access against the model.
#include "support/sim_fixture.h"

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace slotio_test;
using ::testing::ElementsAre;

namespace {

class SlotAccess : public SimTest {
  protected:
    void SetUp() override
    {
        SimTest::SetUp();
        start();
    }
    const pacsim::TraceEntry &only_request()
    {
        EXPECT_EQ(sim().trace.size(), 1u);
        return sim().trace.at(0);
    }
};

TEST_F(SlotAccess, OpenSlotOpensTheSlotDeviceReadWrite)
{
    for (int slot = 0; slot <= 10; ++slot) {
        sim().clear();
        ASSERT_EQ(Open_Slot(slot), 0) << slot;
        ASSERT_EQ(sim().opens.size(), 1u);
        EXPECT_EQ(sim().opens[0].path, "/dev/slot" + std::to_string(slot));
        EXPECT_EQ(sim().opens[0].flags, O_RDWR);
        EXPECT_EQ(sim().slot_of(slotio::slot_fd[slot]), slot);
    }
}

TEST_F(SlotAccess, OpenSlotOfAMissingDeviceReturnsTwoAndLeavesItClosed)
{
    controller.set_missing(9, true);
    EXPECT_EQ(Open_Slot(9), 2);
    EXPECT_EQ(slotio::slot_fd[9], slotio::not_open);
    // A request on it fails like on any closed slot.
    controller.device(9).set(35, 7);
    EXPECT_EQ(inb(9, 35), 0);
}

TEST_F(SlotAccess, SlotNumbersOutsideTheTableNeverReachTheDevice)
{
    for (int slot : {-1, 11, 12, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(Open_Slot(slot), 2) << slot;
        EXPECT_EQ(inb(slot, 0), 0);
        EXPECT_EQ(inw(slot, 0), 0);
        outb(slot, 0, 1);
        outw(slot, 0, 1);
        EXPECT_EQ(setSignal(slot, SIGALRM, getpid()), -1);
        Close_Slot(slot);
    }
    EXPECT_TRUE(sim().opens.empty());
    EXPECT_TRUE(sim().trace.empty());
}

TEST_F(SlotAccess, OpenSlotAllStopsAtTheFirstMissingDevice)
{
    controller.set_missing(4, true);
    EXPECT_EQ(Open_SlotAll(), 2);
    ASSERT_EQ(sim().opens.size(), 5u); // 0 to 4, then it stops
    for (int slot = 0; slot <= 8; ++slot) {
        if (slot < 4)
            EXPECT_NE(slotio::slot_fd[slot], slotio::not_open) << slot;
        else
            EXPECT_EQ(slotio::slot_fd[slot], slotio::not_open) << slot;
    }
}

TEST_F(SlotAccess, OpenSlotAllAndCloseSlotAllHandleSlotsZeroToEightOnly)
{
    ASSERT_EQ(Open_Slot(9), 0);
    ASSERT_EQ(Open_Slot(10), 0);
    const int fd9 = slotio::slot_fd[9], fd10 = slotio::slot_fd[10];
    sim().clear();
    EXPECT_EQ(Open_SlotAll(), 0);
    ASSERT_EQ(sim().opens.size(), 9u);
    for (int slot = 0; slot <= 8; ++slot) {
        EXPECT_EQ(sim().opens[slot].path, "/dev/slot" + std::to_string(slot));
        EXPECT_EQ(sim().opens[slot].flags, O_RDWR);
    }
    Close_SlotAll();
    for (int slot = 0; slot <= 8; ++slot)
        EXPECT_EQ(slotio::slot_fd[slot], slotio::not_open);
    EXPECT_EQ(slotio::slot_fd[9], fd9);
    EXPECT_EQ(slotio::slot_fd[10], fd10);
}

TEST_F(SlotAccess, CloseSlotLeavesAClosedSlotAlone)
{
    ASSERT_EQ(Open_Slot(3), 0);
    Close_Slot(3);
    EXPECT_EQ(slotio::slot_fd[3], slotio::not_open);
    EXPECT_EQ(inb(3, 0), 0); // closed: the request fails
    Close_Slot(3);           // nothing left to close
    EXPECT_EQ(slotio::slot_fd[3], slotio::not_open);
}

struct RegisterCase {
    const char *name;
    void (*call)();
    uint32_t code;
    uint32_t reg;
    uint32_t value_sent;
};

TEST_F(SlotAccess, RegisterWritesFillRegAndValueOnly)
{
    const RegisterCase cases[] = {
        {"outb", [] { outb(3, 7, 0xab); }, SLOT_WRITE_REG, 7, 0xab},
        {"outw", [] { outw(3, 0x10, 0xbeef); }, SLOT_WRITE_REG16, 0x10, 0xbeef},
    };
    ASSERT_EQ(Open_Slot(3), 0);
    for (const RegisterCase &c : cases) {
        sim().clear();
        c.call();
        const pacsim::TraceEntry &e = only_request();
        EXPECT_EQ(e.slot, 3) << c.name;
        EXPECT_EQ(e.code, c.code) << c.name;
        EXPECT_THAT(e.sent, ElementsAre(0, c.value_sent, 0, 0, 0, 0, c.reg, 0)) << c.name;
        EXPECT_EQ(e.error, 0);
    }
    EXPECT_EQ(controller.device(3).get(7), 0xabu);
    EXPECT_EQ(controller.device(3).get(0x10), 0xbeefu);
}

TEST_F(SlotAccess, RegisterReadsReturnTheLowBitsOfTheAnsweredValue)
{
    ASSERT_EQ(Open_Slot(5), 0);
    controller.device(5).set(2, 0x12345678);
    EXPECT_EQ(inb(5, 2), 0x78);
    EXPECT_EQ(inw(5, 2), 0x5678);
    ASSERT_EQ(sim().trace.size(), 2u);
    EXPECT_EQ(sim().trace[0].code, SLOT_READ_REG);
    EXPECT_EQ(sim().trace[1].code, SLOT_READ_REG16);
    for (const pacsim::TraceEntry &e : sim().trace)
        EXPECT_THAT(e.sent, ElementsAre(0, 0, 0, 0, 0, 0, 2, 0));
}

TEST_F(SlotAccess, FailedRequestsReadZeroAndDropWrites)
{
    ASSERT_EQ(Open_Slot(5), 0);
    controller.device(5).set(2, 0x1234);
    controller.set_failing(5, true);
    EXPECT_EQ(inb(5, 2), 0);
    EXPECT_EQ(inw(5, 2), 0);
    outb(5, 2, 0x55);
    ASSERT_EQ(sim().trace.size(), 3u);
    for (const pacsim::TraceEntry &e : sim().trace)
        EXPECT_NE(e.error, 0);
    controller.set_failing(5, false);
    EXPECT_EQ(inw(5, 2), 0x1234);
}

TEST_F(SlotAccess, ChangeToSlotSendsAOneHotMaskOnSlotZero)
{
    ASSERT_EQ(Open_Slot(0), 0);
    ChangeToSlot(3);
    const pacsim::TraceEntry &e = only_request();
    EXPECT_EQ(e.slot, 0);
    EXPECT_EQ(e.code, SLOT_SELECT);
    EXPECT_THAT(e.sent, ElementsAre(0, 8, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(controller.selected_mask(), 8u);
    ChangeToSlot(10);
    EXPECT_EQ(controller.selected_mask(), 1u << 10);
}

TEST_F(SlotAccess, ChangeToSlotOutsideTheTableSendsNothing)
{
    ASSERT_EQ(Open_Slot(0), 0);
    for (int slot : {-1, 11, 31, 32, 40, INT_MIN})
        ChangeToSlot(slot);
    EXPECT_TRUE(sim().trace.empty());
}

volatile sig_atomic_t alarms = 0;
void count_alarm(int) { alarms = alarms + 1; }

TEST_F(SlotAccess, SetSignalRegistersTheProcessForTheSlotsInterrupt)
{
    struct sigaction sa {
    }, old{};
    sa.sa_handler = count_alarm;
    ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
    alarms = 0;

    ASSERT_EQ(Open_Slot(10), 0); // never touched by Open_SlotAll, still openable
    EXPECT_EQ(setSignal(10, SIGALRM, getpid()), 0);
    const pacsim::TraceEntry &e = only_request();
    EXPECT_EQ(e.code, SLOT_SET_SIGNAL);
    EXPECT_THAT(e.sent, ElementsAre(SIGALRM, static_cast<uint32_t>(getpid()), 0, 0, 1, 0, 1, 0));

    EXPECT_TRUE(controller.raise_interrupt(10));
    EXPECT_EQ(alarms, 1);
    EXPECT_FALSE(controller.raise_interrupt(9)); // nobody registered there
    sigaction(SIGALRM, &old, nullptr);
}

TEST_F(SlotAccess, SetSignalOnAClosedSlotPrintsFailure)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(setSignal(10, SIGALRM, getpid()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "FAILURE?\n");
}

} // namespace
