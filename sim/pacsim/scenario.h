// Scenario files: a controller described in TOML.
#pragma once

#include "../model/board.h"
#include "../model/controller.h"
#include "../model/remote_module.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pacsim {

struct DeviceConfig {
    bool missing = false;
    bool failing = false;
    std::map<uint32_t, uint32_t> registers;
    int module_id = -1;             // module slots: the ID byte of the module, -1 empty
    std::optional<uint32_t> inputs; // digital modules: the active inputs
    // Motion modules: FIFO size in bytes, time of one interpolation segment,
    // and the fault of a FIFO that never reports ready.
    std::optional<uint32_t> fifo_depth;
    std::optional<int64_t> segment_time_us;
    std::optional<bool> never_ready;
    // Encoder modules: the three counters (already taken modulo 65536) and
    // the index inputs.
    std::optional<std::array<uint16_t, 3>> counts;
    std::optional<uint8_t> index;
};

// A COM port the scenario names, with the remote modules on its line (none:
// the port exists and nobody answers).
struct ComPortConfig {
    std::vector<RemoteModuleConfig> modules;
};

struct Scenario {
    std::string path;
    Board board;
    std::array<DeviceConfig, slot_count> slots;
    std::map<int, ComPortConfig> com; // by port number, 1 to 37
};

// One line naming the file, the line and the key: "geode.toml:4: board.cpu: unknown key".
class ScenarioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Scenario load_scenario(const std::string &path);

// Puts the scenario's devices and faults into a controller.
void apply(const Scenario &scenario, Controller &controller);

} // namespace pacsim
