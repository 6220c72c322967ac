#!/usr/bin/env bash
# Benchmark of the gateway under Wine; prints figures, asserts nothing.
#
#   latency     decoder publish -> logger receipt, median and p99, over
#               BENCH_VALUES values sent BENCH_INTERVAL_MS apart
#   throughput  BENCH_BURST values at full speed: values/s, lost, out of order;
#               each hop is closed once its receipts have stopped for 2 s
#   relays      the same two runs through two bare hops holding the same two
#               conversations, so the gateway's overhead ratios come from the
#               same machine and the same run: bench_relay on DDEML ("ddeml"),
#               and bench_relay --plain on plain DDE messages as the
#               gateway's link, one execute at a time ("plain")
#   rounds      BENCH_ROUNDS rounds (3), each running the three hops in turn,
#               starting each round with another hop; a hop's figure is the
#               median of its rounds' (its peak memory the highest), so a
#               moment of load on the machine moves one round, not a ratio
#   idle CPU    CPU seconds per minute of the gateway's own process with
#               both peers absent, over BENCH_IDLE_SECONDS, and of the
#               wineserver over the same interval; the same for the DDEML relay
#   memory      private bytes and peak private bytes of each hop's process
#               after its runs
#
# Goals: overhead ratio <= 1.5 (median and p99), >= 2,000 values/s with zero
# loss and at least 0.95 of a relay's rate, idle CPU <= 0.3 s/min, private
# memory <= 8 MB. Each ratio is printed against both relays. A figure that could not be measured is printed as "not
# measured", and the script then ends with exit status 1.
#
# Uses build/windows (built with the windows preset first), or an existing
# Windows build in QUILLON_BUILD_DIR. Clocks: both simulators stamp with
# QueryPerformanceCounter, which Wine takes from one monotonic host clock.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${QUILLON_BUILD_DIR:-$repo_root/build/windows}")"
values="${BENCH_VALUES:-2000}"
interval="${BENCH_INTERVAL_MS:-5}"
burst="${BENCH_BURST:-5000}"
idle_seconds="${BENCH_IDLE_SECONDS:-60}"
rounds="${BENCH_ROUNDS:-3}"

# shellcheck source=lib/gateway-run.sh
source "$repo_root/scripts/lib/gateway-run.sh"
gateway_run_build

# shellcheck source=lib/wine-session.sh
source "$repo_root/scripts/lib/wine-session.sh"
# shellcheck source=lib/wine-process.sh
source "$repo_root/scripts/lib/wine-process.sh"
wine_session_start "$build/wineprefix"

gateway_run_folder "$build" "$build/bench"

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

# Waits until the receipts in $1 have not grown for 2 s, 60 s at most: on a
# loaded machine a hop may still be forwarding the burst when the decoder
# ends, and values it still holds when closed would count as lost.
wait_for_receipts() {
    local size=-1 now quiet=0 _
    for _ in $(seq 120); do
        now="$(stat -c %s "$1" 2>/dev/null || echo 0)"
        if [[ "$now" != "$size" ]]; then
            size="$now" quiet=0
        elif ((++quiet >= 4)); then
            return 0
        fi
        sleep 0.5
    done
}

# One run through the hop $1 (gateway, ddeml or plain) in round $2: latency
# values, then a burst.
run_hop() {
    local hop="$1" round="$2" logger_pid hop_pid private peak
    local memory=(bench_memory.exe) relay_options=(--quit-event "BenchQuitRelay_$hop")
    wine logger_sim.exe --stamp --out "recv_${hop}_$round.txt" --quit-event "BenchQuitLogger_$hop" \
        2>/dev/null &
    logger_pid=$!
    if [[ "$hop" == gateway ]]; then
        wine MRP_Quillon.exe >/dev/null 2>&1 &
        hop_pid=$!
        wait_for_label "^Palavan status: connected"
    else
        if [[ "$hop" == plain ]]; then
            relay_options+=(--plain)
        fi
        wine bench_relay.exe "${relay_options[@]}" 2>/dev/null &
        hop_pid=$!
        memory+=(bench_relay.exe)
    fi
    wine decoder_sim.exe --wait-client --delay 1500 --stamp-log "pub_${hop}_$round.txt" \
        --interval "$interval" --numbered-prefix L --numbered "$values" --pause 2000 \
        --interval 0 --numbered-prefix T --numbered "$burst" \
        --quit-after --linger 3000 2>/dev/null
    wait_for_receipts "recv_${hop}_$round.txt"
    if read -r _ private _ peak _ _ < <(wine "${memory[@]}" 2>/dev/null | tr -d '\r'); then
        figures[${hop}_private_$round]="$private" figures[${hop}_peak_$round]="$peak"
    fi
    if [[ "$hop" == gateway ]]; then
        probe --close >/dev/null || true
    else
        wine sim_signal.exe "BenchQuitRelay_$hop" >/dev/null 2>&1
    fi
    wait "$hop_pid" 2>/dev/null || true
    wine sim_signal.exe "BenchQuitLogger_$hop" >/dev/null 2>&1
    wait "$logger_pid" 2>/dev/null || true

    read -r median p99 matched < <(latency "pub_${hop}_$round.txt" "recv_${hop}_$round.txt" L)
    read -r rate received disorder < <(throughput "pub_${hop}_$round.txt" "recv_${hop}_$round.txt" T)
    printf '%-8s latency median %s us, p99 %s us (%s of %s values)\n' \
        "$hop" "$median" "$p99" "$matched" "$values"
    printf '%-8s throughput %s values/s, %s of %s received, %s lost, %s out of order\n' \
        "$hop" "$rate" "$received" "$burst" "$((burst - received))" "$disorder"
    printf '%-8s memory private %s KiB, peak %s KiB\n' \
        "$hop" "${figures[${hop}_private_$round]:--}" "${figures[${hop}_peak_$round]:--}"
    figures[${hop}_median_$round]="$median" figures[${hop}_p99_$round]="$p99"
    figures[${hop}_rate_$round]="$rate"
    figures[${hop}_lost_$round]="$((burst - received + values - matched))"
}

# Sets figure $1_$2 of hop $1 from its rounds' $1_$2_<round>: the median of
# those measured (the lower middle one of an even count), with "max" as $3
# the highest, with "sum" the sum; "-" when a round's is missing.
combine_rounds() {
    local key="$1_$2" how="${3:-median}" round list=()
    for round in $(seq "$rounds"); do
        list+=("${figures[${key}_$round]:--}")
    done
    figures[$key]="$(printf '%s\n' "${list[@]}" | sort -n | awk -v how="$how" '
        !/^[0-9]+(\.[0-9]+)?$/ { bad = 1 }
        { x[NR] = $1 + 0; sum += $1 }
        END {
            if (bad || NR == 0) { print "-"; exit }
            if (how == "max") print x[NR]
            else if (how == "sum") print sum
            else print x[int((NR + 1) / 2)]
        }')"
}

echo "== bench: $values values ${interval} ms apart, then $burst at full speed; $rounds rounds"
# Each hop's figures, by name ("gateway_median", "ddeml_idle", ...), and
# each round's ("gateway_median_2"); "-" until measured.
declare -A figures
hops=(ddeml plain gateway)
for round in $(seq "$rounds"); do
    echo "== round $round"
    for turn in 0 1 2; do
        run_hop "${hops[$(((round - 1 + turn) % 3))]}" "$round"
    done
done
for hop in "${hops[@]}"; do
    for figure in median p99 rate; do
        combine_rounds "$hop" "$figure"
    done
    combine_rounds "$hop" lost sum
    combine_rounds "$hop" peak max
    combine_rounds "$hop" private max
done
if ((rounds > 1)); then
    echo "== each round's ratios, gateway/plain relay"
    for round in $(seq "$rounds"); do
        awk -v r="$round" -v gm="${figures[gateway_median_$round]:--}" \
            -v pm="${figures[plain_median_$round]:--}" -v gp="${figures[gateway_p99_$round]:--}" \
            -v pp="${figures[plain_p99_$round]:--}" -v gr="${figures[gateway_rate_$round]:--}" \
            -v pr="${figures[plain_rate_$round]:--}" '
            function ratio(a, b) { return a ~ /^[0-9.]+$/ && b > 0 ? sprintf("%.2f", a / b) : "-" }
            BEGIN { printf "round %s: median %s, p99 %s, flood %s\n", r, ratio(gm, pm), ratio(gp, pp), ratio(gr, pr) }'
    done
    echo "== the figures below: each hop's median over its rounds (peak memory: the highest)"
fi

# CPU seconds per minute of a program started in its own folder with no
# peers running, and of the session's wineserver over the same interval
# (under Wine a DDE initiate's broadcast costs mostly there). Prints
# "program wineserver", or fails when a process cannot be found or ends.
# `wine` may be a launcher: the program is measured in its own process.
idle_cpu() {
    local program="$1" quit="BenchQuitIdle_$1" before launcher pid server
    local ticks_before server_before ticks_after server_after status=0
    mkdir -p "idle_$program"
    cp "$program" "idle_$program/"
    before="$(wine_program_pids "$program")"
    if [[ "$program" == MRP_Quillon.exe ]]; then
        (cd "idle_$program" && exec wine "$program" >/dev/null 2>&1) &
    else
        (cd "idle_$program" && exec wine "$program" --quit-event "$quit" >/dev/null 2>&1) &
    fi
    launcher=$!
    if pid="$(wine_program_pid "$program" 30 "$before")" && server="$(wineserver_pid)"; then
        sleep 5
        if ticks_before="$(cpu_ticks "$pid")" && server_before="$(cpu_ticks "$server")"; then
            sleep "$idle_seconds"
            ticks_after="$(cpu_ticks "$pid")" && server_after="$(cpu_ticks "$server")" || status=1
        else
            status=1
        fi
    else
        status=1
    fi
    if [[ "$program" == MRP_Quillon.exe ]]; then
        probe --close >/dev/null || true
    else
        wine sim_signal.exe "$quit" >/dev/null 2>&1 || true
    fi
    wait "$launcher" 2>/dev/null || true
    if ((status != 0)); then
        echo "bench: $program: its process could not be measured" >&2
        return 1
    fi
    awk -v p="$((ticks_after - ticks_before))" -v w="$((server_after - server_before))" \
        -v hz="$(getconf CLK_TCK)" -v s="$idle_seconds" \
        'BEGIN { printf "%.3f %.3f\n", p / hz * 60 / s, w / hz * 60 / s }'
}

# Prints the idle line of hop $1 for program $2; sets ${1}_idle and
# ${1}_server_idle, or "not measured" and unmeasured=1.
idle_hop() {
    local hop="$1" idle program_cpu server_cpu
    if idle="$(idle_cpu "$2")"; then
        read -r program_cpu server_cpu <<<"$idle"
        printf '%-8s idle CPU %s s/min%s\n' "$hop" "$program_cpu" "$3"
        printf '%-8s idle CPU of the wineserver meanwhile %s s/min\n' "$hop" "$server_cpu"
    else
        program_cpu="not measured" server_cpu="not measured"
        printf '%-8s idle CPU not measured\n' "$hop"
        unmeasured=1
    fi
    figures[${hop}_idle]="$program_cpu" figures[${hop}_server_idle]="$server_cpu"
}

echo "== idle: each program alone for $idle_seconds s, both peers absent"
unmeasured=0
idle_hop ddeml bench_relay.exe " (the same connection attempts, nothing else)"
idle_hop gateway MRP_Quillon.exe ""

echo "== figures against the goals; each pair of ratios: gateway/DDEML relay, gateway/plain relay"
figure() { echo "${figures[$1]:--}"; }
awk -v gm="$(figure gateway_median)" -v gp="$(figure gateway_p99)" \
    -v dm="$(figure ddeml_median)" -v dp="$(figure ddeml_p99)" \
    -v pm="$(figure plain_median)" -v pp="$(figure plain_p99)" \
    -v rate="$(figure gateway_rate)" -v drate="$(figure ddeml_rate)" -v prate="$(figure plain_rate)" \
    -v lost="$(figure gateway_lost)" -v dlost="$(figure ddeml_lost)" -v plost="$(figure plain_lost)" \
    -v cpu="$(figure gateway_idle)" -v scpu="$(figure gateway_server_idle)" \
    -v dcpu="$(figure ddeml_idle)" -v dscpu="$(figure ddeml_server_idle)" \
    -v priv="$(figure gateway_private)" -v peak="$(figure gateway_peak)" \
    -v dpeak="$(figure ddeml_peak)" -v ppeak="$(figure plain_peak)" '
    # A figure is printed only when it was measured: a number, and for a
    # divisor one above zero. Exit status 1 when one was not.
    function measured(x) { return x ~ /^[0-9]+(\.[0-9]+)?$/ }
    function missing() { missed = 1; return "not measured" }
    function ratio(a, b) { return measured(a) && measured(b) && b > 0 ? sprintf("%.2f", a / b) : missing() }
    function ratios(a, b, c) { return ratio(a, b) ", " ratio(a, c) }
    function figure(x, unit) { return measured(x) ? x unit : missing() }
    # Wine leaves PrivateUsage at 0; its peak commit charge is filled in.
    function mb(x) { return measured(x) && x > 0 ? sprintf("%.1f MB", x / 1024) : missing() }
    BEGIN {
    printf "overhead ratio median %s; p99 %s (goal <= 1.5)\n", ratios(gm, dm, pm), ratios(gp, dp, pp)
    printf "throughput %s, %s lost (goal >= 2000 values/s, 0 lost); lost by the relays %s, %s\n",
        figure(rate, " values/s"), figure(lost, ""), figure(dlost, ""), figure(plost, "")
    printf "flood rate against the bare relays in this run %s (goal >= 0.95)\n", ratios(rate, drate, prate)
    printf "idle CPU %s (goal <= 0.3 s/min; bare attempts alone, DDEML relay %s)\n",
        figure(cpu, " s/min"), figure(dcpu, " s/min")
    printf "idle CPU of the wineserver %s while the gateway idles, %s while the DDEML relay does\n",
        figure(scpu, " s/min"), figure(dscpu, " s/min")
    now = measured(priv) && priv > 0 ? sprintf("%.1f MB", priv / 1024) : "not reported"
    printf "private memory %s, peak %s (goal <= 8 MB); peak of the relays %s, %s: ratio %s\n",
        now, mb(peak), mb(dpeak), mb(ppeak), ratios(peak, dpeak, ppeak)
    exit missed
}' || unmeasured=1
if ((unmeasured != 0)); then
    echo "bench: some figures were not measured" >&2
    exit 1
fi
