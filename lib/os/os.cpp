#include "os.h"

namespace slotio::os {

const Ops *current = &default_ops;

const Ops *install(const Ops *ops)
{
    const Ops *previous = current;
    current = ops ? ops : &default_ops;
    return previous;
}

} // namespace slotio::os
