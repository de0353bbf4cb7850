// The card table shared by the motion and encoder drivers: one 64-byte
// record per card number 0 to 19. The card number is the module's slot.
#pragma once

#include <array>
#include <cstdint>

namespace slotio {

struct CardRecord {
    int32_t user_value;    // second argument of the last successful registration
    uint8_t enc_ctrl[3];   // encoder: last control byte written, axes 1 to 3
    uint8_t registered;    // motion: 1 after a successful registration
    uint8_t first_setting; // motion: first setting of I4053_SET_VAR
    uint8_t acc_step;      // motion: acceleration step of the speed profile
    uint16_t enc_last[3];  // encoder: hardware counts at the last update
    uint16_t enc_now[3];   // encoder: hardware counts of the latest update
    uint16_t reserved0;
    uint32_t low_speed;   // motion: low speed of the speed profile
    uint32_t high_speed;  // motion: high speed of I4053_SET_VAR
    int64_t enc_count[3]; // encoder: extended counts
    uint8_t reserved1[8];
};
static_assert(sizeof(CardRecord) == 64);

inline constexpr int card_count = 20;

extern std::array<CardRecord, card_count> card;

// Card numbers 20 and above lie outside the table: every call refuses them.
constexpr bool valid_card(unsigned card_no) { return card_no < card_count; }

} // namespace slotio
