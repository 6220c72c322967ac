#!/usr/bin/env bash
# Soak run of the gateway under Xvfb and Wine; prints figures, asserts nothing.
#
#   scripts/soak.sh [SECONDS]        default 600
#
# The gateway runs between the decoder simulator, publishing one numbered
# value every 100 ms for the whole run, and the logger simulator, which is
# ended and started again every SOAK_RESTART_SECONDS (default 60). Printed:
#   values sent, and the values received while the command link stood
#   (values published between a logger's first and last receipt), with
#   those lost, repeated or out of order;
#   for every logger start, the reconnection time: from the logger's
#   service registration to the first command it received (both stamped
#   with QueryPerformanceCounter, which Wine takes from one host clock);
#   the gateway's memory at start and end: resident and anonymous resident
#   memory of its Wine process (/proc), and Windows' counters (bench_memory;
#   Wine fills in only the peaks there).
#
# Uses build/windows (built with the windows preset first), or an existing
# Windows build in QUILLON_BUILD_DIR. The Wine prefix is the build's
# soak-wineprefix: a wineserver of its own keeps the soak's simulators away
# from anything else running DDE on this machine. With DISPLAY unset a
# private Xvfb is started and stopped.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
duration="${1:-600}"
restart="${SOAK_RESTART_SECONDS:-60}"
build="$(realpath -m "${QUILLON_BUILD_DIR:-$repo_root/build/windows}")"

if ! [[ "$duration" =~ ^[0-9]+$ && "$restart" =~ ^[0-9]+$ ]] || ((duration < 1 || restart < 5)); then
    echo "usage: soak.sh [SECONDS]   (SOAK_RESTART_SECONDS >= 5)" >&2
    exit 2
fi
# shellcheck source=lib/gateway-run.sh
source "$repo_root/scripts/lib/gateway-run.sh"
gateway_run_build

# shellcheck source=lib/wine-session.sh
source "$repo_root/scripts/lib/wine-session.sh"
# shellcheck source=lib/wine-process.sh
source "$repo_root/scripts/lib/wine-process.sh"
wine_session_start "${SOAK_WINEPREFIX:-$build/soak-wineprefix}"

work="$(mktemp -d "${TMPDIR:-/tmp}/quillon-soak.XXXXXX")"
gateway_run_folder "$build" "$work"

gateway_pid=""      # what `wine` was started as (it may be a launcher)
gateway_host_pid="" # the host process that runs the gateway
decoder_pid=""
decoder_quit="QuillonSoakDecoderQuit-$$"
cleanup() {
    # Only what this script started, by its process id.
    local pid
    for pid in "$decoder_pid" "$gateway_host_pid" "$gateway_pid"; do
        if [[ -n "$pid" ]]; then
            kill "$pid" 2>/dev/null || true
        fi
    done
    wine_session_stop
}
trap cleanup EXIT

# "rss_kib anon_kib" of the gateway's host process, or "not measured".
host_memory() {
    [[ -n "$gateway_host_pid" ]] &&
        awk '/^VmRSS:/ { rss = $2 } /^RssAnon:/ { anon = $2 }
             END { if (rss == "") exit 1; print rss + 0, anon + 0 }' \
            "/proc/$gateway_host_pid/status" 2>/dev/null ||
        echo "not measured"
}
windows_memory() {
    wine bench_memory.exe 2>/dev/null | tr -d '\r' || echo "unavailable"
}

before="$(wine_program_pids MRP_Quillon.exe)"
wine MRP_Quillon.exe >/dev/null 2>&1 &
gateway_pid=$!
if ! wine gateway_probe.exe --wait 30000 >/dev/null 2>&1; then
    echo "soak: the gateway window did not appear" >&2
    exit 1
fi
gateway_host_pid="$(wine_program_pid MRP_Quillon.exe 10 "$before")" || gateway_host_pid=""
sleep 2
memory_start="$(host_memory)"
win_start="$(windows_memory)"

values=$((duration * 10 + 600))
wine decoder_sim.exe --interval 100 --numbered-prefix S --numbered "$values" \
    --stamp-log decoder.tsv --quit-event "$decoder_quit" >/dev/null 2>decoder.err &
decoder_pid=$!

echo "soak: ${duration} s, logger restarted every ${restart} s, work folder $work"
started=$SECONDS
run=0
while ((SECONDS - started < duration)); do
    left=$((duration - (SECONDS - started)))
    length=$((left < restart ? left : restart))
    wine logger_sim.exe --stamp --out "logger_$run.tsv" --start-stamp "start_$run.txt" \
        --run-ms $((length * 1000)) >/dev/null 2>&1 || true
    run=$((run + 1))
done

memory_end="$(host_memory)"
win_end="$(windows_memory)"
wine sim_signal.exe "$decoder_quit" >/dev/null 2>&1 || true
wait "$decoder_pid" 2>/dev/null || true
decoder_pid=""
probe --close >/dev/null || true
wait "$gateway_pid" 2>/dev/null || true
gateway_pid=""
gateway_host_pid=""

# The figures. Receipt lines are "<us>\t006displaycwS000123".
for ((k = 0; k < run; ++k)); do
    awk -F'\t' -v k="$k" -v startfile="start_$k.txt" '
        BEGIN { getline start < startfile }
        { n++; if (n == 1) first = $1; last = $1
          v = $2; sub(/^006displaycwS/, "", v); v += 0
          if (v <= prev) disorder++
          if (n == 1) lo = v; hi = v; prev = v }
        END { if (n == 0) { printf "%d - - - - 0 0\n", k; exit }
              printf "%d %.0f %.0f %.0f %d %d %d\n", k, (first - start) / 1000, first, last, lo, hi, n, disorder + 0 }
    ' "logger_$k.tsv"
done >runs.txt

sent=$(wc -l <decoder.tsv)
echo
echo "values sent by the decoder: $sent"
echo "logger run  reconnect ms  received  first..last value  in window  lost  out of order"
total_received=0
total_window=0
reconnects=()
while read -r k reconnect first last lo hi n disorder; do
    if [[ "$reconnect" == "-" ]]; then
        printf "%10d  %12s  %8d\n" "$k" "none" 0
        continue
    fi
    # The values the decoder published while this logger's link stood: from
    # the first value received to the last, by number.
    in_window=$((hi - lo + 1))
    lost=$((in_window - n))
    printf "%10d  %12s  %8d  %7d..%-7d  %9d  %4d  %12d\n" "$k" "$reconnect" "$n" "$lo" "$hi" \
        "$in_window" "$lost" "${disorder:-0}"
    total_received=$((total_received + n))
    total_window=$((total_window + in_window))
    ((k > 0)) && reconnects+=("$reconnect")
done <runs.txt
echo "received while the link stood: $total_received of $total_window published in those windows"
if ((${#reconnects[@]} > 0)); then
    printf '%s\n' "${reconnects[@]}" | sort -n | awk '
        { v[NR] = $1; s += $1 }
        END { printf "reconnection after a logger restart: %d restarts, min %d ms, median %d ms, max %d ms, mean %.0f ms\n",
                     NR, v[1], v[int((NR + 1) / 2)], v[NR], s / NR }'
fi
# "resident R KiB, anonymous A KiB" from host_memory's "R A".
host_memory_text() {
    if [[ "$1" == "not measured" ]]; then
        echo "host process not measured"
    else
        echo "resident ${1% *} KiB, anonymous ${1#* } KiB"
    fi
}
echo "gateway memory at start: $(host_memory_text "$memory_start"); Windows counters (KiB): ${win_start}"
echo "gateway memory at end:   $(host_memory_text "$memory_end"); Windows counters (KiB): ${win_end}"
errors=0
if [[ -f ErrorLog.txt ]]; then
    errors=$(grep -c "program error" ErrorLog.txt || true)
fi
echo "program-error lines in the gateway's ErrorLog.txt: $errors (values published while no logger ran)"
