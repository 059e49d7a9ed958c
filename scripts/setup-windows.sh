#!/usr/bin/env bash
# Installs what the Windows build needs besides scripts/setup.sh: the mingw-w64 cross
# compiler (posix threads), Wine to run the tests (with its own fonts, an X server without
# a screen for the dialogs and the Japanese locale for code page 932), and libsodium
# cross-built from Debian's own source package into /opt/corvane-mingw64 (Debian ships no
# mingw libsodium). Safe to run again: a libsodium already built at the packaged version is
# kept.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    echo "setup-windows.sh: run as root (it installs Debian packages)" >&2
    exit 1
fi
prefix=/opt/corvane-mingw64
host=x86_64-w64-mingw32

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 \
    fonts-wine xvfb locales dpkg-dev autoconf automake libtool make xz-utils python3 \
    wixl msitools osslsigncode groff-base openssl
# The console's tests run Wine with LANG=ja_JP.UTF-8, which gives its programs code page 932.
if ! locale -a | grep -qi '^ja_JP\.utf-\?8$'; then
    sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen
fi

# Debian's source of libsodium: a deb-src entry for the suites the machine already uses, in
# a list of its own so the machine's apt sources stay as they are.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/parts" "$work/lists/partial"
cat > "$work/parts/debian-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
apt_src=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/parts"
    -o "Dir::State::Lists=$work/lists" -o APT::Sandbox::User=root)
apt-get "${apt_src[@]}" update
version="$(apt-get "${apt_src[@]}" source --print-uris libsodium | sed -n "s/.*libsodium_\([^ ]*\)\.dsc.*/\1/p")"
if [ -n "$version" ] && [ "$(cat "$prefix/VERSION" 2>/dev/null)" = "$version" ]; then
    echo "libsodium $version for $host is in $prefix"
    exit 0
fi
(cd "$work" && apt-get "${apt_src[@]}" source libsodium)
cd "$work"/libsodium-*/
./autogen.sh -s
./configure --host="$host" --prefix="$prefix" --disable-shared --enable-static \
    CC="$host-gcc-posix" CFLAGS="-O2"
make -j"$(nproc)"
make install
echo "$version" > "$prefix/VERSION"
