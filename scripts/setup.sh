#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need (dpkg-dev
# and lintian build and check the project's own packages; the console's package needs
# the Qt platform plugins installed for its test).
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang libclang-rt-14-dev clang-format
    libsqlite3-dev libsodium-dev
    qt6-base-dev qt6-svg-dev qt6-translations-l10n
    libudev-dev umockdev libumockdev-dev
    libsystemd-dev systemd procps bash-completion iproute2
    googletest libgtest-dev libgmock-dev libbenchmark-dev strace
    fonts-ipafont-gothic
    dpkg-dev lintian qt6-qpa-plugins
    python3-prometheus-client
)

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: run as root (it installs Debian packages)" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"

# firewalld and ufw: the control program's tests drive them for real, but only inside a
# throwaway systemd with its own network namespace (tests/control/systemd-sandbox.sh).
# keepalived: the failover tests and benchmark run it in network namespaces of their own,
# in the foreground. Installing them must neither filter this machine nor move addresses:
# - no service starts during the install: a policy-rc.d that refuses every start (exit
#   101) is in place for it (an existing one is kept, ours is removed afterwards);
#   invoke-rc.d and deb-systemd-invoke both obey it;
# - ufw stays disabled (ENABLED=no in /etc/ufw/ufw.conf, the package's default);
#   keepalived has no configuration (its unit starts only with /etc/keepalived/keepalived.conf);
# - where systemd is the init system, the units the packages enabled for the next boot
#   are disabled again (only for packages this run installed). Where it is not (PID 1 is
#   no systemd, as on CI), the enable links are inert files; the sandbox hides them.
declare -A quiet_units=([firewalld]=firewalld.service [ufw]=ufw.service [keepalived]=keepalived.service)
newly=()
for package in firewalld ufw keepalived; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || newly+=("$package")
done
if [ "${#newly[@]}" -gt 0 ]; then
    policy=/usr/sbin/policy-rc.d
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' > "$policy"
        chmod 755 "$policy"
        trap 'rm -f "$policy"' EXIT
    fi
    apt-get install -y --no-install-recommends "${newly[@]}"
    if [ -d /run/systemd/system ]; then
        for package in "${newly[@]}"; do
            systemctl disable "${quiet_units[$package]}"
        done
    fi
fi
