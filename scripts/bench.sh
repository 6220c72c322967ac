#!/usr/bin/env bash
# Benchmark of the gateway under Wine; prints figures, asserts nothing.
#
#   latency     decoder publish -> logger receipt, median and p99, over
#               BENCH_VALUES values sent BENCH_INTERVAL_MS apart
#   throughput  BENCH_BURST values at full speed: values/s, lost, out of order
#   relay       the same two runs through bench_relay, a bare hop holding the
#               same two conversations, so the gateway's overhead ratio comes
#               from the same machine and the same run
#   idle CPU    CPU seconds per minute of the gateway with both peers absent,
#               over BENCH_IDLE_SECONDS
#   memory      the gateway's private bytes and peak private bytes
#
# Goals: overhead ratio <= 1.5 (median and p99), >= 2,000 values/s with zero
# loss, idle CPU <= 0.3 s/min, private memory <= 8 MB.
#
# Uses build/windows (built with the windows preset first), or an existing
# Windows build in BENCH_BUILD_DIR. Clocks: both simulators stamp with
# QueryPerformanceCounter, which Wine takes from one monotonic host clock.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$repo_root/build/windows}"
values="${BENCH_VALUES:-2000}"
interval="${BENCH_INTERVAL_MS:-5}"
burst="${BENCH_BURST:-5000}"
idle_seconds="${BENCH_IDLE_SECONDS:-60}"

if [[ -z "${BENCH_BUILD_DIR:-}" ]]; then
    (cd "$repo_root" && cmake --preset windows >/dev/null && cmake --build --preset windows)
fi

if [[ -f "$repo_root/scripts/wine-session.sh" ]]; then
    # shellcheck source=wine-session.sh disable=SC1091
    source "$repo_root/scripts/wine-session.sh"
    wine_session_start "$build/wineprefix"
else
    export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
fi

work="$build/bench"
rm -rf "$work"
mkdir -p "$work"
cp "$build/MRP_Quillon.exe" "$build"/tools/*.exe "$work/"
cd "$work"

probe() { wine gateway_probe.exe "$@" 2>/dev/null | tr -d '\r'; }
wait_label() {
    for _ in $(seq 100); do
        probe | grep -q "^$1" && return 0
        sleep 0.2
    done
    echo "bench: the gateway never showed \"$1\"" >&2
    return 1
}

# Prints "median_us p99_us matched" for the values whose names start with
# $3, from the publish stamps $1 and the receipt stamps $2.
latency() {
    awk -F'\t' -v tag="$3" '
        NR == FNR { if (index($2, tag) == 1) pub[$2] = $1; next }
        { v = $2; sub(/^006displaycw/, "", v); if (v in pub) print $1 - pub[v] }
    ' "$1" "$2" | sort -n | awk '
        { d[NR] = $1 }
        END {
            if (NR == 0) { print "- - 0"; exit }
            m = int((NR + 1) / 2); p = int(NR * 0.99 + 0.999999)
            if (p > NR) p = NR
            print d[m], d[p], NR
        }'
}

# Prints "values_per_s received out_of_order" for the burst values.
throughput() {
    awk -F'\t' -v tag="$3" '
        NR == FNR { if (index($2, tag) == 1 && first == "") first = $1; next }
        {
            v = $2; sub(/^006displaycw/, "", v)
            if (index(v, tag) != 1) next
            n++; last = $1
            if (v <= prev) disorder++
            prev = v
        }
        END {
            if (n == 0 || last <= first) { print "- 0 0"; exit }
            printf "%.0f %d %d\n", n * 1e6 / (last - first), n, disorder
        }' "$1" "$2"
}

# One run through the hop $1 (gateway or relay): latency values, then a burst.
run_hop() {
    local hop="$1" logger_pid hop_pid
    wine logger_sim.exe --stamp --out "recv_$hop.txt" --quit-event "BenchQuitLogger_$hop" \
        2>/dev/null &
    logger_pid=$!
    if [[ "$hop" == gateway ]]; then
        wine MRP_Quillon.exe >/dev/null 2>&1 &
        hop_pid=$!
        wait_label "Palavan status: connected"
    else
        wine bench_relay.exe --quit-event BenchQuitRelay 2>/dev/null &
        hop_pid=$!
    fi
    wine decoder_sim.exe --wait-client --delay 1500 --stamp-log "pub_$hop.txt" \
        --interval "$interval" --numbered-prefix L --numbered "$values" --pause 2000 \
        --interval 0 --numbered-prefix T --numbered "$burst" \
        --quit-after --linger 3000 2>/dev/null
    if [[ "$hop" == gateway ]]; then
        read -r _ private _ peak _ _ < <(wine bench_memory.exe 2>/dev/null | tr -d '\r')
        gateway_private_kib="$private"
        gateway_peak_kib="$peak"
        probe --close >/dev/null || true
    else
        wine sim_signal.exe BenchQuitRelay >/dev/null 2>&1
    fi
    wait "$hop_pid" 2>/dev/null || true
    wine sim_signal.exe "BenchQuitLogger_$hop" >/dev/null 2>&1
    wait "$logger_pid" 2>/dev/null || true

    read -r median p99 matched < <(latency "pub_$hop.txt" "recv_$hop.txt" L)
    read -r rate received disorder < <(throughput "pub_$hop.txt" "recv_$hop.txt" T)
    printf '%-8s latency median %s us, p99 %s us (%s of %s values)\n' \
        "$hop" "$median" "$p99" "$matched" "$values"
    printf '%-8s throughput %s values/s, %s of %s received, %s lost, %s out of order\n' \
        "$hop" "$rate" "$received" "$burst" "$((burst - received))" "$disorder"
    eval "${hop}_median=$median ${hop}_p99=$p99 ${hop}_rate=$rate"
    eval "${hop}_lost=$((burst - received + values - matched))"
}

echo "== bench: $values values ${interval} ms apart, then $burst at full speed"
gateway_private_kib="-" gateway_peak_kib="-"
gateway_median=0 gateway_p99=0 gateway_rate=0 gateway_lost=0 relay_median=0 relay_p99=0
run_hop relay
run_hop gateway

# CPU seconds per minute of a program started in its own folder with no
# peers running; Wine runs the program in the process it was started as.
idle_cpu() {
    local program="$1" pid before after
    mkdir -p "idle_$program"
    cp "$program" "idle_$program/"
    (cd "idle_$program" && exec wine "$program" >/dev/null 2>&1) &
    pid=$!
    sleep 5
    before="$(awk '{ print $14 + $15 }' "/proc/$pid/stat")"
    sleep "$idle_seconds"
    after="$(awk '{ print $14 + $15 }' "/proc/$pid/stat")"
    if [[ "$program" == MRP_Quillon.exe ]]; then
        probe --close >/dev/null || true
    else
        kill "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
    awk -v d="$((after - before))" -v hz="$(getconf CLK_TCK)" -v s="$idle_seconds" \
        'BEGIN { printf "%.3f", d / hz * 60 / s }'
}

echo "== idle: each program alone for $idle_seconds s, both peers absent"
relay_idle="$(idle_cpu bench_relay.exe)"
echo "relay    idle CPU $relay_idle s/min (the same connection attempts, nothing else)"
gateway_idle="$(idle_cpu MRP_Quillon.exe)"
echo "gateway  idle CPU $gateway_idle s/min"

echo "== figures against the goals"
awk -v gm="$gateway_median" -v gp="$gateway_p99" -v rm="$relay_median" -v rp="$relay_p99" \
    -v rate="$gateway_rate" -v lost="$gateway_lost" -v cpu="$gateway_idle" -v rcpu="$relay_idle" \
    -v priv="$gateway_private_kib" -v peak="$gateway_peak_kib" 'BEGIN {
    if (rm > 0 && rp > 0) {
        printf "overhead ratio median %.2f, p99 %.2f (goal <= 1.5)\n", gm / rm, gp / rp
    }
    printf "throughput %s values/s, %s lost (goal >= 2000 values/s, 0 lost)\n", rate, lost
    printf "idle CPU %s s/min (goal <= 0.3; bare attempts alone %s)\n", cpu, rcpu
    # Wine leaves PrivateUsage at 0; its peak commit charge is filled in.
    now = priv > 0 ? sprintf("%.1f MB", priv / 1024) : "not reported"
    printf "private memory %s, peak %.1f MB (goal <= 8 MB)\n", now, peak / 1024
}'
