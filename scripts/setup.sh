# Sourced by run.sh and test.sh: installs the Debian packages the build needs, once.
# shellcheck shell=bash

ORVIK_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libjpeg62-turbo-dev gettext
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core
  libqt6sql6-sqlite sqlite3
)

# What scripts/package.sh needs besides the build: the package tools and their checkers.
ORVIK_PACKAGE_TOOLS=(dpkg-dev lintian desktop-file-utils appstream)

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
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# orvik_build <build dir> [extra cmake args...]
orvik_build() {
  local dir=$1
  shift
  cmake -S "$ORVIK_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
