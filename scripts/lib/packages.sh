# shellcheck shell=bash
# What each script needs from Debian, in one place, and the installer of
# what is missing: it does nothing (and asks apt nothing) when all is there.
# Source this file, then:
#
#   install_packages_for build wine screen  # the sets below, by name
#   install_missing_packages nsis ...       # single packages
#   ensure_locale de_DE.UTF-8
#
# 32-bit Wine (wine32:i386) is in no set: the Wine session installs it when
# a run needs 32-bit programs and the machine can run them
# (lib/wine-session.sh, lib/bitness.sh).
#
# Runs dpkg, apt-get and locale-gen through sudo when not root.

# The Windows programs, cross-compiled (GoogleTest's sources are built with
# them for the Windows tests).
QUILLON_PACKAGES_BUILD=(cmake ninja-build mingw-w64 googletest)
# The native build of the portable core and its tests.
QUILLON_PACKAGES_HOST=(cmake ninja-build g++ libgtest-dev)
# The fuzz targets and the sanitizer runs: clang with its runtimes.
QUILLON_PACKAGES_FUZZ=(cmake ninja-build clang libclang-rt-14-dev libgtest-dev)
# The formatting check (scripts/check-format.sh): .clang-format's version.
QUILLON_PACKAGES_FORMAT=(clang-format)
# A 64-bit Wine session on a private X server.
QUILLON_PACKAGES_WINE=(wine wine64 xvfb xauth)
# Screenshots of a window (import, convert).
QUILLON_PACKAGES_SCREEN=(imagemagick)
# The setup program.
QUILLON_PACKAGES_SETUP=(nsis)
# The release files besides the setup program.
QUILLON_PACKAGES_RELEASE=(zip unzip)
# The German user locale one Windows test runs in.
QUILLON_PACKAGES_LOCALE=(locales)

install_packages_for() {
    local set packages=()
    for set in "$@"; do
        local -n members="QUILLON_PACKAGES_${set^^}"
        packages+=("${members[@]}")
        unset -n members
    done
    install_missing_packages "${packages[@]}"
}

# Lets dpkg install packages of another architecture (multiarch); the
# apt-get update of install_missing_packages then fetches their lists.
add_package_architecture() {
    local arch="$1"
    if [[ "$(dpkg --print-architecture)" == "$arch" ]] ||
        dpkg --print-foreign-architectures | grep -qx "$arch"; then
        return 0
    fi
    echo "== adding package architecture $arch"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" dpkg --add-architecture "$arch"
}

install_missing_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "== installing: ${missing[*]}"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
}

# Generates the named locale (Debian's locales package) unless it is there
# already; does nothing otherwise.
ensure_locale() {
    local name="$1" short
    # locale -a lists de_DE.UTF-8 as de_DE.utf8.
    short="${name%%.*}.$(tr '[:upper:]' '[:lower:]' <<<"${name#*.}" | tr -d '-')"
    if locale -a 2>/dev/null | grep -qx -e "$name" -e "$short"; then
        return 0
    fi
    echo "== generating locale $name"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    if ! grep -q "^${name} " /etc/locale.gen; then
        "${sudo[@]}" sed -i "s/^# *${name} /${name} /" /etc/locale.gen
        grep -q "^${name} " /etc/locale.gen ||
            echo "${name} ${name#*.}" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo[@]}" locale-gen
}
