# shellcheck shell=bash
# Helpers for running the Windows programs under Wine. Source this file,
# then:
#
#   wine_session_start [prefix [arch [programs]]]
#       # default: build/windows/wineprefix win64 64
#   ...run wine programs or ctest...
#   wine_session_stop                   # also runs on exit of the sourcing shell
#
# Sourcing this file sets an EXIT trap in the sourcing shell (to stop what
# the session started); a caller with an EXIT trap of its own calls
# wine_session_stop from it.
#
# arch is win64 (64-bit Windows, which runs 32-bit programs as well) or
# win32 (32-bit Windows). programs says what the run starts in a win64
# prefix: 64 (64-bit programs only) or both (32-bit ones too); a win32
# prefix runs 32-bit programs only. A run that needs 32-bit programs needs
# 32-bit Wine, which only a machine that runs i386 Linux programs can use
# (lib/bitness.sh): there wine_session_start installs it when missing;
# elsewhere it refuses such a run.
#
# On a machine without 32-bit support, `wine` is Debian's launcher, which
# starts the 32-bit loader for everything once wine32:i386 is installed, and
# then every program fails. The session therefore puts first on PATH a
# folder whose `wine` (and the wineboot and winepath that call it) starts
# the 64-bit loader directly; scripts and ctest, whose emulator is `wine`,
# use it without knowing.
#
# wine_session_start installs Wine and Xvfb when missing, starts a private
# Xvfb when DISPLAY is unset, creates and initialises the Wine prefix when it
# is new, makes it afresh when it is of the other architecture or does not
# run a program this run needs (a prefix made before 32-bit Wine was
# installed runs no 32-bit program), exports WINEPREFIX and WINEDEBUG=-all
# and keeps one wineserver running for the session.
# wine_session_stop stops that wineserver and the Xvfb it started, nothing
# else.

WINE_SESSION_LIB="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=packages.sh
source "$WINE_SESSION_LIB/packages.sh"
# shellcheck source=bitness.sh
source "$WINE_SESSION_LIB/bitness.sh"

WINE_SESSION_XVFB_PID=""
WINE_SESSION_DISPLAY_FILE=""
WINE_SESSION_BIN=""

wine_session_start() {
    local repo_root
    repo_root="$(cd "$WINE_SESSION_LIB/../.." && pwd)"
    local prefix="${1:-$repo_root/build/windows/wineprefix}"
    local arch="${2:-win64}"
    local programs="${3:-64}"
    if [[ "$arch" != win64 && "$arch" != win32 ]]; then
        echo "wine-session: unknown architecture $arch (win64 or win32)" >&2
        return 1
    fi
    if [[ "$programs" != 64 && "$programs" != both ]]; then
        echo "wine-session: unknown programs $programs (64 or both)" >&2
        return 1
    fi
    if [[ "$arch" == win32 ]]; then
        programs=32
    fi
    if [[ "$programs" != 64 ]] && ! machine_runs_32bit; then
        echo "wine-session: a $arch run of 32-bit programs needs 32-bit Wine, and this" \
            "machine cannot run 32-bit programs" >&2
        return 1
    fi
    install_packages_for wine || return 1
    if [[ "$programs" != 64 ]]; then
        add_package_architecture i386 && install_missing_packages wine32:i386 || return 1
    fi
    wine_session_use_64bit_loader || return 1
    mkdir -p "$(dirname "$prefix")"
    export WINEPREFIX
    WINEPREFIX="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
    export WINEDEBUG=-all
    # Wine would offer to download Mono and Gecko into a new prefix; the
    # programs need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="

    trap wine_session_stop EXIT

    if [[ -z "${DISPLAY:-}" ]]; then
        # -displayfd: Xvfb picks a free display itself and writes its number.
        WINE_SESSION_DISPLAY_FILE="$(mktemp)"
        Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
            3>"$WINE_SESSION_DISPLAY_FILE" >/dev/null 2>&1 &
        WINE_SESSION_XVFB_PID=$!
        local waited=0
        while [[ ! -s "$WINE_SESSION_DISPLAY_FILE" ]]; do
            if ! kill -0 "$WINE_SESSION_XVFB_PID" 2>/dev/null || ((waited >= 100)); then
                echo "wine-session: Xvfb did not start" >&2
                return 1
            fi
            sleep 0.1
            waited=$((waited + 1))
        done
        export DISPLAY=":$(head -n1 "$WINE_SESSION_DISPLAY_FILE")"
        echo "wine-session: Xvfb on $DISPLAY"
    fi

    # One persistent wineserver for the whole session: each test program
    # would otherwise start and tear down its own.
    if [[ -f "$WINEPREFIX/system.reg" ]]; then
        wineserver -p
        if ! wine_session_prefix_usable "$arch" "$programs"; then
            echo "wine-session: $WINEPREFIX is not a working $arch prefix, making it afresh"
            wineserver -k 2>/dev/null || true
            rm -rf -- "$WINEPREFIX"
        fi
    fi
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        echo "wine-session: initialising $WINEPREFIX ($arch)"
        WINEARCH="$arch" wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        wineserver -p
        if ! wine_session_prefix_usable "$arch" "$programs"; then
            echo "wine-session: could not create a working $arch Wine prefix $WINEPREFIX" >&2
            return 1
        fi
    fi
    # Start Wine's own background services now, detached from any output
    # pipe: started by the first test program, they would inherit its
    # stdout and keep ctest waiting for that pipe to close until they end,
    # which a persistent server never lets happen.
    wineboot </dev/null >/dev/null 2>&1 || true
}

# On a machine without 32-bit support, puts a folder first on PATH whose
# wine, wine-stable, wineboot and winepath start the 64-bit loader directly;
# elsewhere does nothing.
wine_session_use_64bit_loader() {
    if machine_runs_32bit || [[ -n "$WINE_SESSION_BIN" ]]; then
        return 0
    fi
    local loader=/usr/lib/wine/wine64
    if [[ ! -x "$loader" ]]; then
        echo "wine-session: no 64-bit Wine loader at $loader (Debian package wine64)" >&2
        return 1
    fi
    WINE_SESSION_BIN="$(mktemp -d)"
    local name
    for name in wine wine-stable; do
        printf '#!/bin/sh\nWINELOADER=%s exec %s "$@"\n' "$loader" "$loader" >"$WINE_SESSION_BIN/$name"
    done
    for name in wineboot winepath; do
        printf '#!/bin/sh\nWINELOADER=%s exec %s %s.exe "$@"\n' "$loader" "$loader" "$name" \
            >"$WINE_SESSION_BIN/$name"
    done
    chmod +x "$WINE_SESSION_BIN"/*
    export PATH="$WINE_SESSION_BIN:$PATH"
    echo "wine-session: this machine cannot run 32-bit programs: 64-bit Wine only, through $loader"
}

# True when WINEPREFIX was made for the given architecture and runs its own
# command interpreter: the 64-bit one, the 32-bit one, or both, as the
# programs of the run ($2: 64, 32 or both) need.
wine_session_prefix_usable() {
    local arch="$1" needs="$2"
    grep -qx "#arch=$arch" "$WINEPREFIX/system.reg" 2>/dev/null || return 1
    local programs=('C:\windows\system32\cmd.exe')
    if [[ "$needs" == both ]]; then
        programs+=('C:\windows\syswow64\cmd.exe')
    fi
    local program
    for program in "${programs[@]}"; do
        # Into a file, not a pipe: Wine's background services started here
        # would hold a pipe open after the program ends.
        wine "$program" /c echo usable </dev/null >"$WINEPREFIX/.usable" 2>/dev/null || return 1
        [[ "$(tr -d '\r' <"$WINEPREFIX/.usable")" == usable ]] || return 1
    done
    rm -f "$WINEPREFIX/.usable"
}

wine_session_stop() {
    if [[ -n "${WINEPREFIX:-}" ]] && command -v wineserver >/dev/null; then
        wineserver -k 2>/dev/null || true
    fi
    if [[ -n "$WINE_SESSION_XVFB_PID" ]]; then
        kill "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
        wait "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
        WINE_SESSION_XVFB_PID=""
        unset DISPLAY
    fi
    if [[ -n "$WINE_SESSION_DISPLAY_FILE" ]]; then
        rm -f "$WINE_SESSION_DISPLAY_FILE"
        WINE_SESSION_DISPLAY_FILE=""
    fi
    if [[ -n "$WINE_SESSION_BIN" ]]; then
        PATH="${PATH//"$WINE_SESSION_BIN:"/}"
        rm -rf "$WINE_SESSION_BIN"
        WINE_SESSION_BIN=""
    fi
}
