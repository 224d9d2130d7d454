#!/bin/sh
# Installs the Debian packages the build, the tests and `make run` need.
# Quiet and idempotent: only what is missing is fetched.
set -e
PACKAGES="g++ g++-multilib gcc-multilib binutils make cmake libgtest-dev \
qemu-system-x86 grub-pc-bin grub-common xorriso mtools dosfstools cc65 \
clang libclang-rt-14-dev python3 ovmf grub-efi-amd64-bin grub-efi-ia32-bin \
gdisk"

missing=""
for p in $PACKAGES; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq </dev/null >/dev/null
# shellcheck disable=SC2086
$SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends $missing </dev/null >/dev/null
