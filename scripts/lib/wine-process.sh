# shellcheck shell=bash
# Finds the host process that runs a Windows program under Wine.
#
# With 32-bit Wine installed, `wine` is a launcher: after `wine prog.exe &`,
# $! is a start.exe that hands the program to another host process and
# waits for it. $! is fine to wait for, but its /proc entry says nothing
# about the program. These helpers look among the processes of this
# session, those with this WINEPREFIX in their environment, for the one
# whose Windows command line starts with the program. Source this file
# after wine_session_start (WINEPREFIX must be set), then:
#
#   before="$(wine_program_pids prog.exe)"
#   wine prog.exe &
#   pid="$(wine_program_pid prog.exe 30 "$before")"   # fails: not found
#   server="$(wineserver_pid)"                         # fails: not found
#   ticks="$(cpu_ticks "$pid")"                        # fails: process gone

# True when process $1 belongs to this session's Wine prefix.
wine_process_in_session() {
    [[ -n "${WINEPREFIX:-}" ]] && grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$1/environ" 2>/dev/null
}

# The file name of the program in process $1's Windows command line,
# lower case ("" for a process that is not a Wine program). Wine puts the
# whole command line into the first argument: the program is its first
# word, or its first quoted string.
wine_process_program() {
    local line
    line="$(tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | head -n1)" || true
    if [[ "$line" == \"* ]]; then
        line="${line#\"}"
        line="${line%%\"*}"
    else
        line="${line%% *}"
    fi
    line="${line##*[\\/]}"
    echo "${line,,}"
}

# Pids of this session's processes running program $1 (a file name such as
# MRP_Quillon.exe), one per line.
wine_program_pids() {
    local name="${1,,}" entry pid
    for entry in /proc/[0-9]*; do
        pid="${entry#/proc/}"
        [[ "$(readlink "$entry/exe" 2>/dev/null)" == */wine* ]] || continue
        wine_process_in_session "$pid" || continue
        [[ "$(wine_process_program "$pid")" == "$name" ]] && echo "$pid"
    done
    return 0
}

# Waits up to $2 seconds (default 30) for exactly one process of program $1
# that is not among the pids $3 (those running it before it was started)
# and prints its pid. Fails, saying why on stderr, when there is none or
# more than one.
wine_program_pid() {
    local name="$1" seconds="${2:-30}" excluded=" ${3//$'\n'/ } " found pid waited
    local -a fresh
    for ((waited = 0; waited <= seconds * 5; ++waited)); do
        fresh=()
        for pid in $(wine_program_pids "$name"); do
            [[ "$excluded" == *" $pid "* ]] || fresh+=("$pid")
        done
        if ((${#fresh[@]} == 1)); then
            echo "${fresh[0]}"
            return 0
        fi
        if ((${#fresh[@]} > 1)); then
            echo "wine-process: ${#fresh[@]} new processes run $name: ${fresh[*]}" >&2
            return 1
        fi
        sleep 0.2
    done
    found="$(wine_program_pids "$name" | tr '\n' ' ')"
    echo "wine-process: no new process runs $name under $WINEPREFIX${found:+ (only $found)}" >&2
    return 1
}

# The pid of this session's wineserver.
wineserver_pid() {
    local entry pid
    local -a found=()
    for entry in /proc/[0-9]*; do
        pid="${entry#/proc/}"
        [[ "$(readlink "$entry/exe" 2>/dev/null)" == */wineserver* ]] || continue
        wine_process_in_session "$pid" && found+=("$pid")
    done
    if ((${#found[@]} != 1)); then
        echo "wine-process: ${#found[@]} wineservers run for $WINEPREFIX" >&2
        return 1
    fi
    echo "${found[0]}"
}

# CPU time of process $1 so far, user plus system, all threads, in clock
# ticks (getconf CLK_TCK per second). Fails when the process has ended
# (also when it is a zombie).
cpu_ticks() {
    local stat
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
    # The command name in parentheses may hold spaces: count from after it.
    stat="${stat##*) }"
    [[ -n "$stat" && "$stat" != [ZX]* ]] || return 1
    awk '{ print $12 + $13 }' <<<"$stat"
}
