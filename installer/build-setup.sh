#!/usr/bin/env bash
# Builds the setup program from the two programs:
#
#   installer/build-setup.sh [--target amd64-unicode] VERSION EXE64 EXE32 OUTFILE
#
# The setup program runs on every Windows with makensis's default stub,
# x86-unicode, a 32-bit program. --target amd64-unicode builds the same
# script on the 64-bit stub, for testing the installer where 32-bit
# programs cannot run (scripts/test.sh); it is never released.
#
# Packs the user guide and the licence with CR LF line ends (Notepad before
# Windows 10 1809 shows LF-only text as one long line). With
# SOURCE_DATE_EPOCH set, the packed files carry that time, so two builds of
# the same programs give the same bytes. Called by the `setup` target of the
# windows preset and by scripts/release.sh.
set -euo pipefail

target=()
if [[ "${1:-}" == --target ]]; then
    # On the 64-bit stub ${RunningX64} is true when the script is built, so
    # the other branch of each test of it is never used: warning 6012.
    target=("-XTarget ${2:?}" "-X!pragma warning disable 6012")
    shift 2
fi
if (($# != 4)); then
    echo "usage: $0 [--target amd64-unicode] VERSION EXE64 EXE32 OUTFILE" >&2
    exit 2
fi
version="$1" exe64="$2" exe32="$3" outfile="$4"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo_root="$(dirname "$here")"

for program in "$exe64" "$exe32"; do
    if [[ ! -f "$program" ]]; then
        echo "build-setup: no program at $program (the setup program needs both the" \
            "windows and the windows32 preset's build)" >&2
        exit 1
    fi
done
# The program's names, from src/ports/ProgramIdentity.h through the build's
# one reader of it: -DPRODUCT=... -DWINDOW_CLASS=... -DSETTINGS_ROOT=...
identity="$(cmake -P "$repo_root/cmake/ProgramIdentity.cmake")"
mapfile -t identity_defines <<<"$identity"
if ! command -v makensis >/dev/null; then
    echo "build-setup: makensis not found (Debian package nsis)" >&2
    exit 1
fi

docs="$(mktemp -d)"
trap 'rm -rf "$docs"' EXIT
# shellcheck source=../scripts/lib/crlf.sh
source "$repo_root/scripts/lib/crlf.sh"
to_crlf "$repo_root/docs/USER_GUIDE.txt" "$docs/USER_GUIDE.txt"
to_crlf "$repo_root/LICENSE" "$docs/LICENSE.txt"
if [[ -n "${SOURCE_DATE_EPOCH:-}" ]]; then
    touch -d "@$SOURCE_DATE_EPOCH" "$docs"/*
fi

mkdir -p "$(dirname "$outfile")"
makensis -V2 -NOCD "${target[@]}" "${identity_defines[@]}" "-DVERSION=$version" \
    "-DEXE64=$exe64" "-DEXE32=$exe32" "-DDOCS=$docs" "-DOUTFILE=$outfile" "$here/MRP_Quillon.nsi"
