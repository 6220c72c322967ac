#!/usr/bin/env bash
# The demonstration: builds the Windows program, runs it under Wine between a
# simulated CW decoder and a simulated logging program, shows the commands
# that arrive and the gateway's two status lines, saves a screenshot of its
# window and closes everything it started.
#
# On a fresh Debian 12 machine, run as root: it installs what is missing
# first (64-bit Wine only: the demonstration runs 64-bit programs). Set
# DEMO_WPM to change the decoding speed (default 20), or QUILLON_BUILD_DIR
# to run an existing Windows build instead of building the preset.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"
build="$(realpath -m "${QUILLON_BUILD_DIR:-$repo_root/build/windows}")"
demo="$build/demo"
wpm="${DEMO_WPM:-20}"

# shellcheck source=lib/gateway-run.sh
source "$repo_root/scripts/lib/gateway-run.sh"
gateway_run_build
install_packages_for wine screen

# Xvfb when DISPLAY is unset, and a Wine prefix inside the build tree.
# shellcheck source=lib/wine-session.sh
source "$repo_root/scripts/lib/wine-session.sh"
wine_session_start "$build/wineprefix"

gateway_run_folder "$build" "$demo"

# A short exchange as the decoder prints it: slashed zeros (0xD8), a middle
# dot (0xB7), a soft hyphen (0xAD) and doubled letters.
printf 'CQ CQ DE R2\xd8XY K  R2\xd8XY DE K1ABC UR 5NN 5NN\xb7 TNX FER QSO\xad 73 ' >exchange.txt

status() {
    echo "-- gateway window:"
    probe | grep -E '^(MRP|Palavan) status' | sed 's/^/   /' || echo "   (window not found)"
}

decoder_pid=""
cleanup() {
    set +e
    gateway_run_stop
    wine_session_stop
}
trap cleanup EXIT

echo "== logger simulator: the commands it receives follow, one per line"
wine logger_sim.exe --quit-event "$GATEWAY_RUN_QUIT" &
gateway_run_track $!

echo "== gateway"
wine MRP_Quillon.exe >/dev/null 2>&1 &
gateway_run_track_gateway $!
wait_for_label '^Palavan status: connected' || true
status

echo "== decoder simulator: decoding at $wpm WPM"
wine decoder_sim.exe --text exchange.txt --wpm "$wpm" --wait-client --delay 1000 \
    --quit-event "$GATEWAY_RUN_QUIT" --quit-after --linger 1500 &
decoder_pid=$!
gateway_run_track "$decoder_pid"
wait_for_label '^MRP status: connected' || true
sleep 3
status

capture_window "$demo/gateway.png" >/dev/null
echo "== screenshot: $demo/gateway.png"

wait "$decoder_pid"
decoder_pid=""
sleep 1.5
echo "== decoder simulator ended"
status

if [[ -s "$demo/ErrorLog.txt" ]]; then
    echo "== ErrorLog.txt"
    cat "$demo/ErrorLog.txt"
fi
echo "== closing"
