# shellcheck shell=bash
# Helpers for running the Windows programs under Wine. Source this file,
# then:
#
#   wine_session_start [prefix [arch]]  # default: build/windows/wineprefix win64
#   ...run wine programs or ctest...
#   wine_session_stop                   # also runs on exit of the sourcing shell
#
# arch is win64 (64-bit Windows, which runs 32-bit programs as well) or
# win32 (32-bit Windows). wine_session_start starts a private Xvfb when
# DISPLAY is unset, creates and initialises the Wine prefix when it is new,
# makes it afresh when it is of the other architecture or does not run a
# program (a prefix made before 32-bit Wine was installed may not), exports
# WINEPREFIX and WINEDEBUG=-all and keeps one wineserver running for the
# session.
# wine_session_stop stops that wineserver and the Xvfb it started, nothing
# else.

WINE_SESSION_XVFB_PID=""
WINE_SESSION_DISPLAY_FILE=""

wine_session_start() {
    local repo_root
    repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    local prefix="${1:-$repo_root/build/windows/wineprefix}"
    local arch="${2:-win64}"
    if [[ "$arch" != win64 && "$arch" != win32 ]]; then
        echo "wine-session: unknown architecture $arch (win64 or win32)" >&2
        return 1
    fi
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
        if ! wine_session_prefix_usable "$arch"; then
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
        if ! wine_session_prefix_usable "$arch"; then
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

# True when WINEPREFIX was made for the given architecture and runs its own
# command interpreter (in a 64-bit prefix also the 32-bit one).
wine_session_prefix_usable() {
    local arch="$1"
    grep -qx "#arch=$arch" "$WINEPREFIX/system.reg" 2>/dev/null || return 1
    local programs=('C:\windows\system32\cmd.exe')
    if [[ "$arch" == win64 ]]; then
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
}
