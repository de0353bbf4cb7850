// Time of day and deadlines, on the seam's clock (virtual in these tests).
#include "support/sim_fixture.h"

#include <sys/time.h>

using namespace slotio_test;

namespace {

class Deadline : public SimTest {
  protected:
    void SetUp() override
    {
        SimTest::SetUp();
        start();
    }
    void at(int64_t seconds, int64_t micros)
    {
        sim().clock.advance(seconds * 1'000'000 + micros - sim().clock.now_us());
    }
};

TEST_F(Deadline, DelayCarriesIntoTheSeconds)
{
    at(10, 700000);
    timeval d{};
    _time_set_deadline(1500000, &d);
    EXPECT_EQ(d.tv_sec, 12);
    EXPECT_EQ(d.tv_usec, 200000);
    at(12, 199999);
    EXPECT_EQ(_time_out(&d), 0);
    at(12, 200000);
    EXPECT_EQ(_time_out(&d), -1); // equal counts as reached
    at(13, 0);
    EXPECT_EQ(_time_out(&d), -1);
}

TEST_F(Deadline, ZeroDelayIsReachedAtOnce)
{
    at(5, 999999);
    timeval d{};
    _time_set_deadline(0, &d);
    EXPECT_EQ(_time_out(&d), -1);
    _time_set_deadline(1, &d);
    EXPECT_EQ(d.tv_sec, 6);
    EXPECT_EQ(d.tv_usec, 0);
    EXPECT_EQ(_time_out(&d), 0);
}

TEST_F(Deadline, TimeOfDayInMicrosecondsAndMilliseconds)
{
    at(1700000000, 1999);
    EXPECT_EQ(_time_get_tod(), 1700000000001999);
    EXPECT_EQ(_time_get_todMS(), 1700000000001);
}

} // namespace
