# Shared by the scripts: package installation and the build folders.
# shellcheck shell=bash

SOLANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SOLANE_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  zlib1g-dev libcurl4-openssl-dev libssl-dev libgcrypt20-dev libwxgtk3.2-dev libwxgtk-webview3.2-dev
  googletest libgtest-dev xvfb xauth nginx-light python3 python3-pyftpdlib
  unzip curl binutils openssl librsvg2-bin fonts-liberation fonts-noto-cjk lldb
  libx11-dev xdotool imagemagick)
# The Windows build: the MinGW cross compiler (posix threads), its zlib and libgcrypt, and Wine
# to run its tests (GoogleTest is built from the googletest package's sources).
SOLANE_PACKAGES+=(mingw-w64 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev libgcrypt-mingw-w64-dev wine64 wine)

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

# Release build used by the demo and the benchmarks (clang: g++ 12 at -O3 warns falsely inside
# std::string, and warnings are errors).
SOLANE_BUILD_RELEASE="$SOLANE_ROOT/build-release"
solane_build_release() {
  echo "building the release in $SOLANE_BUILD_RELEASE (the first time about 8 minutes on 2 cores)"
  CC=clang CXX=clang++ cmake -S "$SOLANE_ROOT" -B "$SOLANE_BUILD_RELEASE" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSOLANE_TESTS=OFF -DSOLANE_SANITIZE=OFF -DSOLANE_FUZZ=OFF "$@" >/dev/null
  # SOLANE_RELEASE_TARGETS: only these targets (blank-separated) instead of everything.
  # shellcheck disable=SC2086
  NINJA_STATUS='[%f/%t %es] ' cmake --build "$SOLANE_BUILD_RELEASE" -j "$(solane_jobs)" \
    ${SOLANE_RELEASE_TARGETS:+--target $SOLANE_RELEASE_TARGETS} | solane_build_progress
  [ "${PIPESTATUS[0]}" -eq 0 ]
}

# The Windows build (cross-compiled, tests under Wine in a prefix of the build folder's own).
SOLANE_BUILD_WINDOWS="$SOLANE_ROOT/build-win"
solane_configure_windows() {
  cmake -S "$SOLANE_ROOT" -B "$SOLANE_BUILD_WINDOWS" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$SOLANE_ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSOLANE_GUI=OFF -DSOLANE_SANITIZE=OFF -DSOLANE_FUZZ=OFF -DSOLANE_TESTS=ON "$@" >/dev/null
}
# Builds TARGETS of the Windows build. Its generators run under Wine: the prefix and its server
# are started first, with no output of the build's to hold open.
solane_build_windows() {
  echo "building the Windows programs in $SOLANE_BUILD_WINDOWS"
  solane_configure_windows
  "$SOLANE_BUILD_WINDOWS/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1 || true
  NINJA_STATUS='[%f/%t %es] ' cmake --build "$SOLANE_BUILD_WINDOWS" -j "$(solane_jobs)" --target "$@" | solane_build_progress
  [ "${PIPESTATUS[0]}" -eq 0 ]
}

# Shortens ninja's progress lines ("[done/total seconds] Building CXX object ..."): one line at
# the first step, at every 5% and at each program linked; compiler messages pass unchanged.
# (bash reads line by line; awk would wait for a full buffer.)
solane_build_progress() {
  local line finished total seconds what percent shown=0
  while IFS= read -r line; do
    if [[ "$line" =~ ^\[([0-9]+)/([0-9]+)\ ([0-9]+)[0-9.]*s\]\ (.*)$ ]]; then
      finished=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]} seconds=${BASH_REMATCH[3]} what=${BASH_REMATCH[4]}
      percent=$((finished * 100 / total))
      if [ "$finished" -eq 1 ] || [ "$finished" -eq "$total" ] || [ "$percent" -ge $((shown + 5)) ] ||
        [[ "$what" == Linking* ]]; then
        shown=$((percent - percent % 5))
        what=${what//CMakeFiles\/*.dir\//}
        printf '  build %3d%%  %4d/%d after %4d s  %s\n' "$percent" "$finished" "$total" "$seconds" "$what"
      fi
    elif [[ "$line" == "ninja: no work to do."* ]]; then
      echo "  build: the release is up to date"
    else
      printf '%s\n' "$line"
    fi
  done
}

# A TCP port on 127.0.0.1 that nothing listens on right now.
solane_free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts nginx serving ROOT on 127.0.0.1:PORT with its configuration and logs in DIR; prints its
# process id once it answers.
solane_start_nginx() {
  local dir=$1 root=$2 port=$3
  mkdir -p "$dir/logs" "$dir/tmp"
  chmod 755 "$dir" "$root"  # nginx's workers may run as another user
  chmod -R a+rX "$root"
  cat >"$dir/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 64; }
http {
  access_log $dir/logs/access.log;
  sendfile on;
  client_body_temp_path $dir/tmp;
  proxy_temp_path $dir/tmp;
  fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp;
  scgi_temp_path $dir/tmp;
  types { application/octet-stream bin SPF exe zip; text/plain NFO txt; text/html html; }
  server {
    listen 127.0.0.1:$port;
    root $root;
  }
}
CONF
  nginx -e "$dir/logs/error.log" -p "$dir" -c "$dir/nginx.conf" >"$dir/logs/stdout.log" 2>&1 &
  local pid=$!
  local _
  for _ in $(seq 100); do
    if curl -s -o /dev/null "http://127.0.0.1:$port/"; then echo "$pid"; return 0; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "nginx did not start; see $dir/logs/error.log" >&2
  kill "$pid" 2>/dev/null
  return 1
}

solane_stop_nginx() {
  local pid=$1 _
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
}

# Waits up to SECONDS until no process runs a program from FOLDER; false when some still do.
solane_wait_for_launchers() {
  local folder=$1 seconds=$2 _
  for _ in $(seq $((seconds * 10))); do
    pgrep -f "^$folder/" >/dev/null || return 0
    sleep 0.1
  done
  return 1
}
