#!/usr/bin/env bash
# Builds the Windows installer corvane-keyserver-VERSION-x64.msi into BUILD/packages from
# packaging/corvane-keyserver.wxs with wixl, and prints its path on standard output (the
# build's output goes to standard error). BUILD defaults to build-windows/, configured with
# the windows preset when it is not configured yet.
#   package-windows.sh [--version X.Y.Z] [--sign CERT.pem KEY.pem] [--out DIR] [BUILD]
# DIR (default BUILD/packages) receives the MSI.
# VERSION defaults to the project's version with a third field of 0; an upgrade needs a
# higher one. With --sign, the five programs and the MSI are signed with osslsigncode
# (certificate and key in PEM), and the signatures are verified against the certificate.
set -euo pipefail
cd "$(dirname "$0")/.."

version="" cert="" key="" out="" build=build-windows
while [ $# -gt 0 ]; do
    case "$1" in
        --version) version="$2"; shift 2 ;;
        --sign) cert="$2" key="$3"; shift 3 ;;
        --out) out="$2"; shift 2 ;;
        *) build="$1"; shift ;;
    esac
done
project="$(sed -n 's/^project(CorvaneKeyServer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
version="${version:-$project.0}"
if ! [[ "$version" =~ ^[0-9]+\.[0-9]+\.([0-9]+)$ ]] || [ "${BASH_REMATCH[1]}" -ge 65535 ]; then
    echo "package-windows.sh: the version must be X.Y.Z, Z below 65535 (it is '$version')" >&2
    exit 2
fi
# An upgrade replaces every build below the next version: a rebuild of the same one too.
upgrade_below="${version%.*}.$((BASH_REMATCH[1] + 1))"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset windows >&2
fi
cmake --build "$build" --target Ternwick Oxlade Halvard corvane-admin corvane-request >&2

out="${out:-$build/packages}"
stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage/bin"
for program in Ternwick Oxlade Halvard corvane-admin corvane-request; do
    found="$(find "$build" -maxdepth 4 -name "$program.exe" -not -path "*/tests/*" -not -path "$out/*" | head -n 1)"
    [ -n "$found" ] || { echo "package-windows.sh: $program.exe was not built" >&2; exit 1; }
    cp "$found" "$stage/bin/"
done
# Without their debugging sections (the build keeps them): a fifth of the size.
x86_64-w64-mingw32-strip "$stage"/bin/*.exe

# The manual pages as text, with Windows line ends.
{
    printf 'Corvane Key Server %s for Windows\n\n' "$version"
    printf 'Ternwick.exe is the key service (the Windows service "Ternwick", port 51056 unless the\n'
    printf 'key store names another); Halvard.exe the console (Start menu); Oxlade.exe controls the\n'
    printf 'service; corvane-admin.exe administers the key store from a command prompt;\n'
    printf 'corvane-request.exe sends one request. The key store is the registry branch\n'
    printf 'HKLM\\SOFTWARE\\Quillon\\CorvaneKeyServer; the service log and the kept copies are in\n'
    printf 'C:\\ProgramData\\Quillon\\CorvaneKeyServer. Removing the package keeps the key store.\n'
    for page in service/Ternwick.8 control/Oxlade.8 console/qt/Halvard.1 admin/corvane-admin.8 tools/corvane-request.1; do
        printf '\n'
        MANWIDTH=80 nroff -man -Tascii "$page" 2>/dev/null | col -bx
    done
} | sed 's/$/\r/' > "$stage/README.txt"

if [ -n "$cert" ]; then
    for program in "$stage"/bin/*.exe; do
        osslsigncode sign -certs "$cert" -key "$key" -n "Corvane Key Server" -h sha256 \
            -in "$program" -out "$program.signed" >&2
        mv "$program.signed" "$program"
    done
fi

msi="$out/corvane-keyserver-$version-x64.msi"
# wixl finds sources by paths relative to the working directory only.
relative="$(realpath --relative-to=. "$stage")"
wixl -a x64 -D Version="$version" -D UpgradeBelow="$upgrade_below" -D Description="$project" -D Bin="$relative/bin" -D Readme="$relative/README.txt" \
    -o "$msi" packaging/corvane-keyserver.wxs >&2
if [ -n "$cert" ]; then
    osslsigncode sign -certs "$cert" -key "$key" -n "Corvane Key Server" -h sha256 -in "$msi" -out "$msi.signed" >&2
    mv "$msi.signed" "$msi"
    for signed in "$msi" "$stage"/bin/*.exe; do
        osslsigncode verify -CAfile "$cert" "$signed" >&2
    done
fi
rm -rf "$stage"
echo "$msi"
