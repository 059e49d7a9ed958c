#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang libclang-rt-14-dev clang-format
    libsqlite3-dev
    qt6-base-dev qt6-svg-dev
    libudev-dev umockdev libumockdev-dev
    libsystemd-dev systemd
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    fonts-ipafont-gothic
)

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: run as root (it installs Debian packages)" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
