#!/usr/bin/env bash
# Builds both Windows programs and packs the downloads:
#
#   build/release/MRP_Quillon-<version>-setup.exe
#     the installer: the 64-bit program on 64-bit Windows, the 32-bit one
#     elsewhere, with the user guide and the licence (installer/)
#   build/release/MRP_Quillon-<version>-win64.zip
#   build/release/MRP_Quillon-<version>-win32.zip
#     MRP_Quillon.exe   the program (stripped; needs no DLL beyond Windows')
#     USER_GUIDE.txt    docs/USER_GUIDE.txt with CR LF line ends for Notepad
#     CHANGELOG.txt     CHANGELOG.md, likewise: what each version changed
#     LICENSE.txt       LICENSE, likewise
#
# The version is the project's, read back from the configured build, so it
# is written down once (CMakeLists.txt). On a fresh Debian 12 machine, run
# as root: it installs what is missing first.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"
build="$repo_root/build/windows"
build32="$repo_root/build/windows32"
release="$repo_root/build/release"

# shellcheck source=lib/packages.sh
source "$repo_root/scripts/lib/packages.sh"
install_packages_for build setup release

for preset in windows windows32; do
    echo "== building ($preset preset)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target MRP_Quillon
done

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
if [[ ! "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "release: no project version in $build/CMakeCache.txt" >&2
    exit 1
fi
setup_path="$release/MRP_Quillon-$version-setup.exe"

# Everything is stamped with the time of the last commit, not of this
# build (the files in the zips and in the setup program, and the link time
# in the programs' headers, which strip takes from SOURCE_DATE_EPOCH), so
# two runs on the same commit pack the same bytes.
stamp="$(git -C "$repo_root" log -1 --format=%ct 2>/dev/null || true)"
if [[ -n "$stamp" ]]; then
    export SOURCE_DATE_EPOCH="$stamp"
fi

stage="$release/stage"
rm -rf "$stage"
mkdir -p "$stage/win64" "$stage/win32"
x86_64-w64-mingw32-strip -o "$stage/win64/MRP_Quillon.exe" "$build/MRP_Quillon.exe"
i686-w64-mingw32-strip -o "$stage/win32/MRP_Quillon.exe" "$build32/MRP_Quillon.exe"
# shellcheck source=lib/crlf.sh
source "$repo_root/scripts/lib/crlf.sh"
for arch in win64 win32; do
    to_crlf docs/USER_GUIDE.txt "$stage/$arch/USER_GUIDE.txt"
    to_crlf CHANGELOG.md "$stage/$arch/CHANGELOG.txt"
    to_crlf LICENSE "$stage/$arch/LICENSE.txt"
    if [[ -n "$stamp" ]]; then
        touch -d "@$stamp" "$stage/$arch"/*
    fi
done

for arch in win64 win32; do
    zip_path="$release/MRP_Quillon-$version-$arch.zip"
    rm -f "$zip_path"
    (cd "$stage/$arch" && TZ=UTC zip -X -q "$zip_path" MRP_Quillon.exe USER_GUIDE.txt CHANGELOG.txt \
        LICENSE.txt)
done
echo "== making the setup program"
installer/build-setup.sh "$version" "$stage/win64/MRP_Quillon.exe" "$stage/win32/MRP_Quillon.exe" \
    "$setup_path"
rm -rf "$stage"

for arch in win64 win32; do
    zip_path="$release/MRP_Quillon-$version-$arch.zip"
    echo "== $zip_path"
    unzip -l "$zip_path"
done
echo "== sizes"
for file in "$setup_path" "$release/MRP_Quillon-$version-win64.zip" \
    "$release/MRP_Quillon-$version-win32.zip"; do
    echo "$(stat -c %s "$file") bytes  $(basename "$file")"
done
