#!/usr/bin/env bash
# Maps a drive letter of the Wine prefix of a build tree (WINEPREFIX, else BUILD/wine-prefix,
# as scripts/wine-run.sh takes it) to a folder, emptied first: the Windows tests' stand-in for
# a lock-key stick's drive, as Wine has no USB storage. With "unmap", removes the letter.
#   wine-map-drive.sh BUILD LETTER FOLDER
#   wine-map-drive.sh BUILD LETTER unmap
set -euo pipefail
build="$1"
letter="$(echo "$2" | tr 'A-Z' 'a-z')"
folder="$3"
export WINEPREFIX="${WINEPREFIX:-$build/wine-prefix}"
if [ "$folder" = unmap ]; then
    rm -f "$WINEPREFIX/dosdevices/$letter:"
    exit
fi
# The prefix is set up on its first use.
"$(dirname "$0")/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1
rm -rf "$folder"
mkdir -p "$folder"
ln -sfn "$folder" "$WINEPREFIX/dosdevices/$letter:"
