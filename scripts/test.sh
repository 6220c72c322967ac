#!/usr/bin/env bash
# Builds and runs every test: the host tests natively, the Windows tests
# under Wine with their own Xvfb. On a fresh Debian 12 machine, run as root:
# it installs what is missing first (32-bit Wine included). Exits non-zero
# when anything fails. Order: host tests, the same under sanitizers, a short
# fuzz run, then both Windows builds and the setup program, the 64-bit suite
# in a 64-bit prefix (with the links between 64-bit and 32-bit programs) and
# the 32-bit suite in a 32-bit prefix; each suite's installer test makes a
# fresh prefix of its own.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_root"

packages=(cmake ninja-build g++ googletest libgtest-dev mingw-w64 wine wine64 wine32:i386 xvfb
          xauth imagemagick clang clang-format libclang-rt-14-dev nsis locales)


failures=()

step() {
    local name="$1"
    shift
    echo "== $name"
    if ! "$@"; then
        failures+=("$name")
        return 1
    fi
}

# shellcheck source=lib/packages.sh
source "$repo_root/scripts/lib/packages.sh"
add_package_architecture i386
install_missing_packages "${packages[@]}"
# A Windows test runs in a German user locale, which Wine takes from LC_ALL.
ensure_locale de_DE.UTF-8

if step "host: configure" cmake --preset host &&
    step "host: build" cmake --build --preset host; then
    step "host: test" ctest --preset host --timeout 300 || true
fi

# The same host tests with AddressSanitizer and UndefinedBehaviorSanitizer.
if step "host-asan: configure" cmake --preset host-asan &&
    step "host-asan: build" cmake --build --preset host-asan; then
    step "host-asan: test" ctest --preset host-asan --timeout 300 || true
fi

# A short run of every fuzz target (scripts/fuzz.sh 600 for a longer one).
step "fuzz: short run" scripts/fuzz.sh "${QUILLON_FUZZ_SECONDS:-5}" || true

# The 32-bit build first: the 64-bit build's suite pairs its programs with
# the 32-bit ones when that build exists.
windows32_built=false
if step "windows32: configure" cmake --preset windows32 &&
    step "windows32: build" cmake --build --preset windows32; then
    windows32_built=true
fi

# shellcheck source=scripts/wine-session.sh
source "$repo_root/scripts/wine-session.sh"
if step "windows: configure" cmake --preset windows &&
    step "windows: build" cmake --build --preset windows; then
    # The setup program packs both programs, so it is made once both are
    # built; the installer tests of both suites run it.
    step "windows: setup program" cmake --build --preset windows --target setup || true
    if step "windows: wine session" wine_session_start "$repo_root/build/windows/wineprefix" win64; then
        step "windows: test" ctest --preset windows --timeout 300 || true
    fi
    wine_session_stop
fi

if $windows32_built; then
    if step "windows32: wine session" \
        wine_session_start "$repo_root/build/windows32/wineprefix" win32; then
        step "windows32: test" ctest --preset windows32 --timeout 300 || true
    fi
    wine_session_stop
fi

echo
if ((${#failures[@]} > 0)); then
    echo "== FAILED: ${failures[*]}"
    exit 1
fi
echo "== all tests passed"
