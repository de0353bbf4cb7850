// What a scenario says about the processor board.
#pragma once

#include <string>
#include <vector>

namespace pacsim {

struct Board {
    std::string name;             // free text, for messages
    std::string cpuinfo;          // text of /proc/cpuinfo
    std::vector<std::string> pci; // lines of `lspci -n`
    int series = 4000;            // 5000: the marker file of the 5000 series exists
};

} // namespace pacsim
