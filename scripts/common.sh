# Shared by the scripts: package installation and the build folders.
# shellcheck shell=bash

SOLANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SOLANE_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  zlib1g-dev libcurl4-openssl-dev libwxgtk3.2-dev libwxgtk-webview3.2-dev
  googletest libgtest-dev xvfb xauth nginx-light python3 python3-pyftpdlib
  unzip curl binutils)

# Installs the Debian packages that are missing (needs root; otherwise says what is missing).
solane_install_packages() {
  local missing=()
  local package
  for package in "${SOLANE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages (run as root to install them): ${missing[*]}" >&2
    return 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

solane_jobs() { nproc 2>/dev/null || echo 2; }

# Release build used by the demo and the benchmarks.
solane_build_release() {
  local dir="$SOLANE_ROOT/build-release"
  cmake -S "$SOLANE_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOLANE_TESTS=OFF >/dev/null
  cmake --build "$dir" -j "$(solane_jobs)"
}
