#!/usr/bin/env bash
# Takes docs/screenshot.png: the gateway's window as the user sees it with
# both links up, under Wine between the simulated decoder and logging
# program. Runs on its own Xvfb (a fixed screen, no window manager) and the
# Wine prefix of the build tree; closes everything it started.
#
# On a fresh Debian 12 machine, run as root: it installs what is missing
# first. Set QUILLON_BUILD_DIR to use an existing Windows build instead of
# building the preset.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"
build="$(realpath -m "${QUILLON_BUILD_DIR:-$repo_root/build/windows}")"
output="$repo_root/docs/screenshot.png"

# shellcheck source=lib/gateway-run.sh
source "$repo_root/scripts/lib/gateway-run.sh"
gateway_run_build
install_packages_for wine screen

# Always a private Xvfb, so the picture does not depend on the caller's
# desktop, theme or window manager.
unset DISPLAY
# shellcheck source=lib/wine-session.sh
source "$repo_root/scripts/lib/wine-session.sh"
wine_session_start "$build/wineprefix"

work="$(mktemp -d)"
gateway_run_folder "$build" "$work"

cleanup() {
    set +e
    gateway_run_stop
    wine_session_stop
    cd "$repo_root"
    rm -rf "$work"
}
trap cleanup EXIT

# A window position left by an earlier run would only move the picture's
# source, but a saved minimised state would hide it.
wine reg delete 'HKCU\Software\VB and VBA Program Settings\MRP_Quillon\Windows' /f \
    >/dev/null 2>&1 || true
# Without a window manager nobody draws the title bar and the frame; with
# Decorated=N Wine draws them itself, as Windows would.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
# The caption buttons are glyphs of the Marlett font; Wine as packaged does
# not always find its own copy, and draws the letters "0 1 r" instead.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
for font in /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf; do
    if [[ -f "$font" && ! -e "$fonts/$(basename "$font")" ]]; then
        mkdir -p "$fonts"
        cp "$font" "$fonts/"
    fi
done

echo "== starting the logging program, the decoder and the gateway"
wine logger_sim.exe --quit-event "$GATEWAY_RUN_QUIT" >/dev/null 2>&1 &
gateway_run_track $!
printf 'CQ CQ DE K1ABC K ' >text.txt
wine decoder_sim.exe --text text.txt --wpm 20 --wait-client --repeat 100 \
    --quit-event "$GATEWAY_RUN_QUIT" >/dev/null 2>&1 &
gateway_run_track $!
wine MRP_Quillon.exe >/dev/null 2>&1 &
gateway_run_track_gateway $!

wait_for_label '^MRP status: connected'
wait_for_label '^Palavan status: connected'
sleep 1  # let the window finish painting
echo "-- the window shows:"
probe | sed 's/^/   /'
if probe | grep -q 'see ErrorLog'; then
    echo "screenshot: the gateway logged an error (ErrorLog.txt follows); no picture taken" >&2
    cat ErrorLog.txt >&2 || true
    exit 1
fi

mkdir -p "$(dirname "$output")"
# -strip: no time stamps in the file, so an unchanged window gives the same bytes.
size="$(capture_window "$output" -strip)"
echo "== $output ($size)"
