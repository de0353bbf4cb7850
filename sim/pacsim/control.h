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
//   "show"                     one line per slot: module, outputs, inputs
// Returns the text to print; `ok` false with an error message.
std::string control(Controller &controller, const SimRoot &root, std::string_view command,
                    bool &ok);

// One line per module slot, e.g. "slot 3: 4057 (ID 0x1f) outputs 0x00ff".
std::string describe_slots(Controller &controller, const SimRoot &root);

} // namespace pacsim
