# shellcheck shell=bash
# One run of the gateway between the simulators, for the scripts that show
# or measure it (run-demo.sh, screenshot.sh, bench.sh, soak.sh). Source this
# file, then:
#
#   gateway_run_build                     # the program and the simulators,
#                                         # unless QUILLON_BUILD_DIR names a build
#   wine_session_start ...
#   gateway_run_folder "$build" "$work"   # a fresh folder holding the gateway
#                                         # and the tools; cd's into it
#   wine logger_sim.exe --quit-event "$GATEWAY_RUN_QUIT" &
#   gateway_run_track $!                  # waited for by gateway_run_stop
#   wine MRP_Quillon.exe >/dev/null 2>&1 &
#   gateway_run_track_gateway $!
#   wait_for_label '^Palavan status: connected'
#   probe                                 # the window's labels, one a line
#   capture_window out.png                # the window, cut from the screen
#   gateway_run_stop                      # closes the gateway as a user
#                                         # would, ends the simulators
#
# The gateway writes ErrorLog.txt next to itself: each run has a folder of
# its own. GATEWAY_RUN_QUIT is an event name unique to this run; simulators
# started with --quit-event "$GATEWAY_RUN_QUIT" end when it is signalled.

GATEWAY_RUN_QUIT="QuillonRunQuit$$"
GATEWAY_RUN_GATEWAY_PID=""
GATEWAY_RUN_PEER_PIDS=()

# shellcheck source=packages.sh
source "$(dirname "${BASH_SOURCE[0]}")/packages.sh"

# Builds the windows preset's program and tools (not the tests) unless
# QUILLON_BUILD_DIR names an existing build to run.
gateway_run_build() {
    [[ -z "${QUILLON_BUILD_DIR:-}" ]] || return 0
    install_packages_for build
    echo "== building (windows preset): the program and the simulators"
    (cd "$(dirname "${BASH_SOURCE[0]}")/../.." && cmake --preset windows >/dev/null &&
        cmake --build --preset windows --target MRP_Quillon quillon_tools)
}

gateway_run_folder() {
    local build="$1" work="$2"
    rm -rf "$work"
    mkdir -p "$work"
    cp "$build/MRP_Quillon.exe" "$build"/tools/*.exe "$work/"
    cd "$work"
}

# The gateway's window: its labels, or with --rect / --close as
# gateway_probe.exe --help says.
probe() { wine gateway_probe.exe "$@" 2>/dev/null | tr -d '\r'; }

# Waits up to 20 s for a label matching the extended regular expression $1;
# fails, printing what the window shows, when none does.
wait_for_label() {
    local _
    for _ in $(seq 100); do
        probe | grep -qE "$1" && return 0
        sleep 0.2
    done
    echo "${0##*/}: the window never showed \"$1\"; it shows:" >&2
    probe >&2 || true
    return 1
}

gateway_run_track() { GATEWAY_RUN_PEER_PIDS+=("$@"); }
gateway_run_track_gateway() { GATEWAY_RUN_GATEWAY_PID="$1"; }

# `import` of the whole screen cut down to the gateway's window, written to
# $1; further arguments go to `convert` before the file name.
capture_window() {
    local output="$1" screen left top width height
    shift
    screen="$(mktemp --suffix=.png)"
    read -r left top width height < <(probe --rect | head -n1)
    import -window root "$screen"
    convert "$screen" -crop "${width}x${height}+${left}+${top}" +repage "$@" "$output"
    rm -f "$screen"
    echo "${width}x${height}"
}

# Closes the gateway (WM_CLOSE, so it saves its place), signals the run's
# quit event and waits for everything tracked. Safe to call twice.
gateway_run_stop() {
    local pid
    if [[ -n "$GATEWAY_RUN_GATEWAY_PID" ]] && kill -0 "$GATEWAY_RUN_GATEWAY_PID" 2>/dev/null; then
        probe --close >/dev/null || true
        wait "$GATEWAY_RUN_GATEWAY_PID" 2>/dev/null || true
    fi
    GATEWAY_RUN_GATEWAY_PID=""
    wine sim_signal.exe "$GATEWAY_RUN_QUIT" >/dev/null 2>&1 || true
    for pid in "${GATEWAY_RUN_PEER_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    GATEWAY_RUN_PEER_PIDS=()
}
