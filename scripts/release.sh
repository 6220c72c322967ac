#!/usr/bin/env bash
# Builds the Windows program and packs the download:
#
#   build/release/MRP_Quillon-<version>-win64.zip
#     MRP_Quillon.exe   the program (stripped; needs no DLL beyond Windows')
#     USER_GUIDE.txt    docs/USER_GUIDE.txt with CR LF line ends for Notepad
#     LICENSE.txt       LICENSE, likewise
#
# The version is the project's, read back from the configured build, so it
# is written down once (CMakeLists.txt). On a fresh Debian 12 machine, run
# as root: it installs what is missing first.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"
build="$repo_root/build/windows"
release="$repo_root/build/release"

packages=(cmake ninja-build mingw-w64 googletest zip unzip)


# shellcheck source=lib/packages.sh
source "$repo_root/scripts/lib/packages.sh"
install_missing_packages "${packages[@]}"

echo "== building (windows preset)"
cmake --preset windows >/dev/null
cmake --build --preset windows --target MRP_Quillon

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
if [[ ! "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "release: no project version in $build/CMakeCache.txt" >&2
    exit 1
fi
zip_path="$release/MRP_Quillon-$version-win64.zip"

# Everything is stamped with the time of the last commit, not of this
# build (the files in the zip, and the link time in the program's header,
# which strip takes from SOURCE_DATE_EPOCH), so two runs on the same commit
# pack the same bytes.
stamp="$(git -C "$repo_root" log -1 --format=%ct 2>/dev/null || true)"
if [[ -n "$stamp" ]]; then
    export SOURCE_DATE_EPOCH="$stamp"
fi

stage="$release/stage"
rm -rf "$stage"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/MRP_Quillon.exe" "$build/MRP_Quillon.exe"
# Notepad before Windows 10 1809 shows LF-only text as one long line.
to_crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
to_crlf docs/USER_GUIDE.txt "$stage/USER_GUIDE.txt"
to_crlf LICENSE "$stage/LICENSE.txt"

if [[ -n "$stamp" ]]; then
    touch -d "@$stamp" "$stage"/*
fi

rm -f "$zip_path"
(cd "$stage" && TZ=UTC zip -X -q "$zip_path" MRP_Quillon.exe USER_GUIDE.txt LICENSE.txt)
rm -rf "$stage"

echo "== $zip_path"
unzip -l "$zip_path"
echo "size: $(stat -c %s "$zip_path") bytes"
