// Commands that change or show a running simulated controller, sent with
// `pacsim set ...` and `pacsim show` to a `pacsim serve`.
#pragma once

#include "../common/root.h"
#include "../model/controller.h"

#include <string>
#include <string_view>

namespace pacsim {

// Carries out one command:
//   "inputs SLOT VALUE"        the active inputs of a digital module
//   "register SLOT REG VALUE"  a register as the device shows it
//   "series 4000|5000"         removes or creates the 5000-series marker file
//   "count SLOT AXIS VALUE"    an encoder counter (any integer, taken modulo 65536)
//   "move SLOT AXIS DELTA"     adds to an encoder counter, wrapping
//   "index SLOT BITS"          the index inputs of an encoder module (0 to 255)
//   "svg SLOT FILE"            writes the path of a motion module as SVG to FILE
//                              (as pacsim sees it: give an absolute name)
//   "show"                     one line per slot: module, outputs, inputs
// Returns the text to print; `ok` false with an error message.
std::string control(Controller &controller, const SimRoot &root, std::string_view command,
                    bool &ok);

// One line per module slot, e.g. "slot 3: 4057 (ID 0x1f) outputs 0x00ff",
// "slot 4: 4053 (ID 0x0e) position (1000, -300), 62 segments, 0 frames rejected",
// "slot 8: 4052 (ID 0x0d) counts 0x0000 0x1234 0xffff index 0x05".
std::string describe_slots(Controller &controller, const SimRoot &root);

} // namespace pacsim
