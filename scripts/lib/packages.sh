# Debian packages by purpose; ensure_packages installs the missing ones with apt-get.
# shellcheck shell=bash
packages_build="cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev qt6-serialport-dev qt6-charts-dev qt6-qpa-plugins fonts-dejavu-core libgl1-mesa-dev ccache"
packages_test="locales socat xvfb xauth netbase curl mbpoll python3-pymodbus python3-serial libmodbus-dev"
packages_run="xvfb xauth qt6-qpa-plugins fonts-dejavu-core"

ensure_packages() {
    local wanted="" missing="" pkg group
    for group in "$@"; do
        local var="packages_$group"
        wanted="$wanted ${!var}"
    done
    for pkg in $wanted; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing="$missing $pkg"
    done
    [ -z "$missing" ] && return 0
    echo "installing:$missing"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
}
