# What the Windows programs' script tests share (sourced): counted failures, waits on a condition,
# and the checks of what a test needs before it starts.

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# until_true SECONDS COMMAND...: true once COMMAND succeeds, false when it never did.
until_true() {
  local deadline=$((SECONDS + $1)); shift
  while ! "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}

# A window test without a display fails: it never passes unchecked.
require_display() {
  if [ -z "${DISPLAY:-}" ]; then
    echo "FAIL: no display: run the test under xvfb-run"
    exit 1
  fi
}

# The releases are published with the Linux build's solane-publish, named by $1.
require_host_publish() {
  if [ ! -x "$1" ]; then
    echo "FAIL: the release is published with the Linux build's solane-publish, not found at \"$1\"" \
      "(build it, or configure with -DSOLANE_HOST_PUBLISH=<path>)"
    exit 1
  fi
}

# stamp PROGRAM COPY VERSION: a copy of PROGRAM carrying VERSION as its version resource.
stamp() { cp "$1" "$2" && "$publish" stamp "$2" "$3" >/dev/null; }
