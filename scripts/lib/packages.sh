# Debian packages by purpose; ensure_packages installs the missing ones with apt-get.
# Every package is named by what uses it: a Recommends that a machine with recommends
# off would miss is named too.
# shellcheck shell=bash

# Building the tool, the simulator and the tests (gcc), with the Qt window (qt6-base-dev
# brings the OpenGL headers and the platform plugins with it).
packages_build="cmake ninja-build g++ ccache libgtest-dev libgmock-dev qt6-base-dev nlohmann-json3-dev"
# What the tests use beside the build: the fuzzers (clang with its libFuzzer runtime),
# a font for the window's screenshots, the peer programs (socat, mbpoll, pymodbus with
# pyserial, curl) and the services database that names ports such as telnet.
packages_test="locales clang libclang-rt-14-dev fonts-dejavu-core socat netbase curl mbpoll python3-pymodbus python3-serial"
# Running the window (scripts/run).
packages_run="qt6-qpa-plugins fonts-dejavu-core"
# The benchmarks in bench/ (built by hand, -DRVEX_WITH_BENCH=ON).
packages_bench="libbenchmark-dev qt6-serialport-dev"
# scripts/check-format: the formatter the repository's .clang-format is written for.
packages_format="clang-format"
# scripts/idle-cpu: the window on a virtual display.
packages_measure="xvfb xauth"
# scripts/package and its checks in scripts/test-package.
packages_package="debhelper dpkg-dev librsvg2-bin"
packages_package_check="lintian desktop-file-utils appstream python3"
# The Windows stage (scripts/test-windows): the mingw-w64 cross compiler, GoogleTest's
# sources for it, and wine64 to run what it builds.
packages_windows="g++-mingw-w64-x86-64 googletest wine64 socat python3 zip"

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
