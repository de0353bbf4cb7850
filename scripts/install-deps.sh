#!/bin/sh
# Installs the Debian packages that building and testing need, when missing.
set -eu

packages="cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev libtomlplusplus-dev"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages:$missing" >&2
    echo "install them as root: apt-get install$missing" >&2
    exit 1
fi
echo "installing:$missing"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
