#!/usr/bin/env bash
# Builds the libFuzzer targets of the portable core and runs each for a while.
#
#   scripts/fuzz.sh [seconds-per-target]     (default 10)
#
# Build dir: build/fuzz (clang++, AddressSanitizer and UndefinedBehaviorSanitizer). Each target starts from its seed corpus in tests/fuzz/corpus/
# and keeps what it finds in build/fuzz/corpus/ (the seeds are not touched).
# A crash leaves its input in build/fuzz/artifacts/ and the script exits 1.
set -euo pipefail

seconds="${1:-10}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [seconds-per-target]" >&2
    exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"

# Tools: clang with its fuzzer and sanitizer runtimes, cmake, ninja, and
# GoogleTest (the host tests' package, found by the same configure).
# shellcheck source=lib/packages.sh
source "$root/scripts/lib/packages.sh"
install_packages_for fuzz

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON -DQUILLON_SANITIZE=ON >/dev/null
targets=()
for source in "$root"/tests/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
done
cmake --build "$build" --target "${targets[@]}"

mkdir -p "$build/artifacts"
failed=0
for target in "${targets[@]}"; do
    name="${target#fuzz_}"
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    log="$build/$target.log"
    seeds=()
    [ -d "$root/tests/fuzz/corpus/$name" ] && seeds=("$root/tests/fuzz/corpus/$name")
    if "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/artifacts/$name-" -print_final_stats=1 \
        "$corpus" "${seeds[@]}" >"$log" 2>&1; then
        status=ok
    else
        status=CRASH
        failed=1
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    cov="$(sed -n 's/.* cov: \([0-9]*\) .*/\1/p' "$log" | tail -n 1)"
    printf '%-24s %-5s runs=%s cov=%s time=%ss\n' "$name" "$status" "${runs:-?}" "${cov:-?}" "$seconds"
    if [ "$status" = CRASH ]; then
        grep -E 'ERROR|runtime error|fuzz property broken|Test unit written' "$log" | head -n 5 |
            sed 's/^/    /' || true
    fi
done
exit "$failed"
