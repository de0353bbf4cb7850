// Time as the models see it: real time under pacsim, a virtual clock in
// unit tests that advances only when the test or the library's sleeps move
// it, so that a test of a long wait takes no time.
#pragma once

#include <chrono>
#include <cstdint>

namespace pacsim {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t now_us() const = 0;
};

class RealClock : public Clock {
  public:
    int64_t now_us() const override
    {
        using namespace std::chrono;
        return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

class VirtualClock : public Clock {
  public:
    int64_t now_us() const override { return now_; }
    void advance(int64_t us) { now_ += us; }

  private:
    int64_t now_ = 1'000'000'000; // an arbitrary epoch, far from zero
};

} // namespace pacsim
