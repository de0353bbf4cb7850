#include "slot_table.h"

#include <cstdio>

namespace slotio::detail {

void unsupported(const char *service)
{
    std::printf("API %s() not support currently Norvik\n", service);
}

} // namespace slotio::detail
