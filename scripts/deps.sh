# Debian 12 packages Solvane needs, and a function that installs the missing
# ones. Sourced by run.sh, test.sh and the CI script.

SOLVANE_BUILD_PACKAGES="g++ cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libfluidsynth-dev libasound2-dev libsndfile1-dev"
SOLVANE_RUN_PACKAGES="timgm6mb-soundfont fonts-ipafont-gothic fonts-noto-cjk"
SOLVANE_TEST_PACKAGES="libgtest-dev libgmock-dev python3 python3-mido midicsv"
SOLVANE_CHECK_PACKAGES="clang libclang-rt-14-dev libbenchmark-dev"
# Building the Debian package, and checking it (lint, install, use, remove).
SOLVANE_PACKAGE_PACKAGES="dpkg-dev binutils"
SOLVANE_PACKAGE_CHECK_PACKAGES="lintian appstream desktop-file-utils man-db mandoc"

solvane_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
