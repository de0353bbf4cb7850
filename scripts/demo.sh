#!/bin/sh
# Runs the service tools built on the simulator against the example
# controllers, showing the command lines as a user would type them.
set -u
cd "$(dirname "$0")/.."

pacsim=build/bin/pacsim
tools=build/sim/bin

show() {
    echo "\$ $*"
    "$@"
    status=$?
    echo
    echo "(exit status $status)"
    echo
}

echo "== slot_tally on an eight-slot Geode controller, with the bus trace on stderr"
show $pacsim run --trace - examples/geode.toml -- $tools/slot_tally

for board in z520 r3600-pci e38 r3600; do
    echo "== slot_tally on examples/$board.toml"
    show $pacsim run examples/$board.toml -- $tools/slot_tally
done

echo "== list_modules: each slot's model number and text, inputs, and an output toggled"
show $pacsim run examples/geode.toml -- build/examples/list_modules

echo "== the same on a 5000-series controller: the marker file is created while pacsim runs"
show $pacsim run examples/geode.toml -- /bin/sh -c \
    'touch "$PACSIM_ROOT/usr/local/etc/ostrel/5000-PAC" && exec build/examples/list_modules'

echo "== motion_demo: a line, a circle and an arc through the motion module's FIFO"
show $pacsim run --svg build/motion_path.svg examples/motion.toml -- build/examples/motion_demo
echo "The path is drawn in build/motion_path.svg"
echo

echo "== com_name: the name of the remote module at address 00 on COM port 1, and at 01"
show $pacsim run --trace - examples/serial.toml -- build/examples/com_name
show $pacsim run examples/serial.toml -- build/examples/com_name 01

echo "== slot_tally with no simulator running: every slot device is missing"
show env PACSIM_SOCKET=/nonexistent/pacsim.sock $tools/slot_tally
