# shellcheck shell=bash
# Installs the named Debian packages that are not installed yet; does
# nothing (and asks apt nothing) when all are there. Source this file, then:
#
#   add_package_architecture i386            # before naming package:i386
#   install_missing_packages cmake ninja-build wine wine32:i386 ...
#   ensure_locale de_DE.UTF-8
#
# Runs dpkg, apt-get and locale-gen through sudo when not root.

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
