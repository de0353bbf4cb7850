// A motion command frame built the test's own way: both copies of
// 00 55 AA code p1..p8 check seq, the second copy with the check byte
// complemented.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace slotio_test {

inline std::vector<uint8_t> frame_bytes(uint8_t code, const std::array<uint8_t, 8> &p, uint8_t seq)
{
    uint8_t check = code;
    for (uint8_t b : p)
        check ^= b;
    std::vector<uint8_t> out;
    for (int copy = 0; copy < 2; ++copy) {
        out.insert(out.end(), {0x00, 0x55, 0xaa, code});
        out.insert(out.end(), p.begin(), p.end());
        out.push_back(copy == 0 ? check : static_cast<uint8_t>(~check));
        out.push_back(seq);
    }
    return out;
}

} // namespace slotio_test
