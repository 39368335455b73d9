# Sourced by run.sh and test.sh: installs the Debian packages the build needs, once.
# shellcheck shell=bash

ORVIK_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libjpeg62-turbo-dev gettext libfftw3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core
  libqt6sql6-sqlite sqlite3
  ser2net
)

# What scripts/package.sh needs besides the build: the package tools and their checkers.
ORVIK_PACKAGE_TOOLS=(dpkg-dev lintian desktop-file-utils appstream man-db binutils)

orvik_install_packages() {
  local missing=() p
  for p in "${ORVIK_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
      echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
      return 1
    fi
    orvik_apt_get update -qq || return
    orvik_apt_get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# apt-get that waits while another package manager (unattended-upgrades, a second set-up, a
# desktop updater) holds its lock, up to ORVIK_APT_LOCK_WAIT seconds (600), instead of
# failing at once. apt waits for the dpkg lock itself; the package lists' lock it does not,
# so a failure that names a lock is retried.
orvik_apt_get() {
  local deadline=$((SECONDS + ${ORVIK_APT_LOCK_WAIT:-600})) log status
  log=$(mktemp)
  while :; do
    if (set -o pipefail; LC_ALL=C DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=60 "$@" 2>&1 |
      tee "$log"); then
      status=0
    else
      status=$?
    fi
    if ((status == 0)) || ! grep -qE 'Could not get lock|Unable to acquire|Unable to lock' "$log" ||
      ((SECONDS >= deadline)); then
      rm -f "$log"
      return "$status"
    fi
    echo "Waiting for the package manager's lock to be released..." >&2
    sleep "${ORVIK_APT_LOCK_RETRY:-5}"
  done
}

# orvik_build <build dir> [extra cmake args...]
orvik_build() {
  local dir=$1
  shift
  cmake -S "$ORVIK_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
