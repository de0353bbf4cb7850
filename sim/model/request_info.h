// Names of the slot-driver requests and the words each one fills and
// answers, for readable traces.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pacsim {

// Bits for the eight words of a request record, in record order.
enum Word : uint8_t {
    w_signo = 1 << 0,
    w_value = 1 << 1,
    w_aux = 1 << 2,
    w_spare = 1 << 3,
    w_hi = 1 << 4,
    w_lo = 1 << 5,
    w_reg = 1 << 6,
    w_wdt_sel = 1 << 7,
};

struct RequestInfo {
    uint32_t code;
    const char *name;
    uint8_t filled;
    uint8_t answered;
};

// The entry for a code, or nullptr for a code the driver does not know.
const RequestInfo *request_info(uint32_t code);

// One readable line: "slot 9 SLOT_READ_REG reg=35 -> value=0x7".
// `before` is the record as sent, `after` as answered (8 words each; for
// SLOT_GET_STATUS `after` may hold the whole status record). `error` is 0
// or the errno value of a failed request.
std::string describe_request(int slot, uint32_t code, std::span<const uint32_t> before,
                             std::span<const uint32_t> after, int error);

} // namespace pacsim
