// Register reads and writes on a controller model, as the slot driver makes
// them, for tests of the models on their own.
#pragma once

#include "sim/model/controller.h"
#include "slotio.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace slotio_test {

inline uint8_t model_read(pacsim::Controller &controller, int slot, uint32_t reg)
{
    uint32_t words[8] = {};
    words[pacsim::word_reg] = reg;
    EXPECT_EQ(controller.request(slot, SLOT_READ_REG, words), 0);
    return static_cast<uint8_t>(words[pacsim::word_value]);
}

inline void model_write(pacsim::Controller &controller, int slot, uint32_t reg, uint8_t value)
{
    uint32_t words[8] = {};
    words[pacsim::word_reg] = reg;
    words[pacsim::word_value] = value;
    EXPECT_EQ(controller.request(slot, SLOT_WRITE_REG, words), 0);
}

} // namespace slotio_test
