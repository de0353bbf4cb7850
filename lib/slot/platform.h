// Board identification cache, shared by every platform-dependent service.
#pragma once

namespace slotio {

enum PlatformCode : int {
    platform_unknown = 0, // a probe command could not be started
    platform_geode = 1,
    platform_z520 = 2,
    platform_r3600_pci = 3,
    platform_e38 = 4,
    platform_r3600 = 5,
    platform_unrecognised = 100,
};

// -1 until the board has been identified; then 1 to 5 for the process's life.
extern int Platform_val;

} // namespace slotio
