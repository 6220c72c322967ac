#!/usr/bin/env bash
# Builds and runs every test: the host tests natively, the Windows tests
# under Wine with their own Xvfb. On a fresh Debian 12 machine, run as root:
# it installs what is missing first. Exits non-zero when anything fails.
# Order: the formatting check, host tests, the same under sanitizers, a short fuzz run, then both
# Windows builds and the setup program, the 64-bit suite in a 64-bit prefix
# (with the links between 64-bit and 32-bit programs) and the 32-bit suite
# in a 32-bit prefix; each suite's installer test makes a fresh prefix of
# its own. It ends with a summary: for each suite, the entries that passed,
# failed and were skipped.
#
# Whether this machine runs 32-bit programs is found out by running one
# (lib/bitness.sh). Where it cannot, or with QUILLON_NO_32BIT=1, 32-bit Wine
# is neither installed nor used: the 32-bit suite and the 64-bit suite's
# entries that run 32-bit programs (label needs32bit) are skipped, each
# named on a line of its own, and the installer test runs a test build of
# the same installer on makensis's 64-bit stub.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"
logs="$repo_root/build/test-logs"
mkdir -p "$logs"

# shellcheck source=lib/packages.sh
source "$repo_root/scripts/lib/packages.sh"
# shellcheck source=lib/bitness.sh
source "$repo_root/scripts/lib/bitness.sh"
# shellcheck source=lib/wine-session.sh
source "$repo_root/scripts/lib/wine-session.sh"

install_packages_for build host fuzz format wine screen setup locale
if machine_runs_32bit; then
    add_package_architecture i386
    install_missing_packages wine32:i386
    windows_programs=both
    setup_stub=x86-unicode
else
    echo "== this machine cannot run 32-bit programs: 64-bit Wine only"
    windows_programs=64
    setup_stub=amd64-unicode
fi
# A Windows test runs in a German user locale, which Wine takes from LC_ALL.
ensure_locale de_DE.UTF-8

failures=()
summary=()

step() {
    local name="$1"
    shift
    echo "== $name"
    if ! "$@"; then
        failures+=("$name")
        return 1
    fi
}

# Runs ctest for suite $1 with the arguments that follow, and adds its
# counts to the summary. ctest's own closing line gives the passed and
# failed; $skipped (set by the caller, default 0) the entries left out.
suite() {
    local name="$1" log="$logs/$1.log" status=0
    shift
    echo "== $name: test"
    ctest "$@" 2>&1 | tee "$log" || status=$?
    local line total failed
    line="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
    if [[ -z "$line" ]]; then
        summary+=("$name: did not run to its end")
        failures+=("$name: test")
        return 1
    fi
    failed="$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")"
    total="$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")"
    summary+=("$name: $((total - failed)) passed, $failed failed, ${skipped:-0} skipped")
    if ((status != 0 || failed != 0)); then
        failures+=("$name: test")
        return 1
    fi
}

# Names each test of preset $1 that carries label $2 (all with "") as
# skipped, one a line; sets $skipped to their count.
name_skipped() {
    local preset="$1" label="$2" names
    local args=(--preset "$preset" -N)
    [[ -n "$label" ]] && args+=(-L "$label")
    names="$(ctest "${args[@]}" | sed -n 's/^ *Test *#[0-9]*: *//p')"
    skipped=0
    while read -r test_name; do
        [[ -n "$test_name" ]] || continue
        echo "$preset: $test_name: $NO_32BIT_REASON"
        skipped=$((skipped + 1))
    done <<<"$names"
}

# Every C++ file keeps .clang-format: one line per file that does not, and
# the counts as a line of the summary.
echo "== format"
format_status=0
scripts/check-format.sh 2>&1 | tee "$logs/format.log" || format_status=$?
format_line="$(grep -E '^format: [0-9]+ passed, [0-9]+ failed, 0 skipped$' "$logs/format.log" || true)"
summary+=("${format_line:-format: did not run to its end}")
if ((format_status != 0)); then
    failures+=("format")
fi

for preset in host host-asan; do
    skipped=0
    if step "$preset: configure" cmake --preset "$preset" &&
        step "$preset: build" cmake --build --preset "$preset"; then
        suite "$preset" --preset "$preset" --timeout 300 || true
    else
        summary+=("$preset: not built")
    fi
done

# A short run of every fuzz target (scripts/fuzz.sh 600 for a longer one):
# one line per target, "ok" or "CRASH".
echo "== fuzz: short run"
fuzz_status=0
scripts/fuzz.sh "${QUILLON_FUZZ_SECONDS:-5}" 2>&1 | tee "$logs/fuzz.log" || fuzz_status=$?
fuzz_ok="$(grep -cE '^[a-z_]+ +ok ' "$logs/fuzz.log" || true)"
fuzz_crashed="$(grep -cE '^[a-z_]+ +CRASH ' "$logs/fuzz.log" || true)"
summary+=("fuzz: $fuzz_ok passed, $fuzz_crashed failed, 0 skipped")
if ((fuzz_status != 0 || fuzz_ok == 0)); then
    failures+=("fuzz: short run")
fi

# The 32-bit build first: the setup program packs both programs, and the
# 64-bit build's suite pairs its programs with the 32-bit ones when that
# build exists. Cross-compiling needs no 32-bit support; running does.
windows32_built=false
if step "windows32: configure" cmake --preset windows32 &&
    step "windows32: build" cmake --build --preset windows32; then
    windows32_built=true
fi

skipped=0
if step "windows: configure" cmake --preset windows -DQUILLON_SETUP_STUB="$setup_stub" &&
    step "windows: build" cmake --build --preset windows; then
    # The setup program packs both programs, so it is made once both are
    # built; the installer tests of both suites run it.
    step "windows: setup program" cmake --build --preset windows --target setup || true
    windows_args=(--preset windows --timeout 300)
    if [[ "$windows_programs" == 64 ]]; then
        name_skipped windows needs32bit
        windows_args+=(-LE needs32bit)
    fi
    if step "windows: wine session" \
        wine_session_start "$repo_root/build/windows/wineprefix" win64 "$windows_programs"; then
        suite windows "${windows_args[@]}" || true
    else
        summary+=("windows: no Wine session")
    fi
    wine_session_stop
else
    summary+=("windows: not built")
fi

skipped=0
if ! $windows32_built; then
    summary+=("windows32: not built")
elif [[ "$windows_programs" == 64 ]]; then
    name_skipped windows32 ""
    summary+=("windows32: 0 passed, 0 failed, $skipped skipped")
else
    if step "windows32: wine session" \
        wine_session_start "$repo_root/build/windows32/wineprefix" win32; then
        suite windows32 --preset windows32 --timeout 300 || true
    else
        summary+=("windows32: no Wine session")
    fi
    wine_session_stop
fi

echo
echo "== summary"
passed=0 failed=0 skipped_all=0
for line in "${summary[@]}"; do
    echo "$line"
    if [[ "$line" =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed,\ ([0-9]+)\ skipped ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
        skipped_all=$((skipped_all + BASH_REMATCH[3]))
    fi
done
if ((${#failures[@]} > 0)); then
    echo "== FAILED: ${failures[*]}"
    echo "total: $passed passed, $((failed > 0 ? failed : ${#failures[@]})) failed, $skipped_all skipped"
    exit 1
fi
echo "== all tests passed"
echo "total: $passed passed, 0 failed, $skipped_all skipped"
