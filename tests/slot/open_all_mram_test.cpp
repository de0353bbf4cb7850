// The library flavour linked into the mram tool opens slots 0 to 8
// non-blocking in Open_SlotAll; Open_Slot stays read-write only.
#include "support/sim_fixture.h"

#include <fcntl.h>

using namespace slotio_test;

namespace {

TEST_F(SimTest, MramFlavourOpensAllSlotsNonBlocking)
{
    start();
    ASSERT_EQ(Open_SlotAll(), 0);
    ASSERT_EQ(Open_Slot(9), 0);
    ASSERT_EQ(sim().opens.size(), 10u);
    for (int slot = 0; slot <= 8; ++slot)
        EXPECT_EQ(sim().opens[slot].flags, O_RDWR | O_NONBLOCK) << slot;
    EXPECT_EQ(sim().opens[9].flags, O_RDWR);
}

} // namespace
