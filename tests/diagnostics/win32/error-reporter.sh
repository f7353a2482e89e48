#!/usr/bin/env bash
# The Windows error reporter under Wine: it posts the report path and both files to a loopback
# server over plain http, and refuses plain http to any other host before sending anything.
#   error-reporter.sh WINE_RUN SOLANE_ERROR_EXE SCRATCH
set -uo pipefail
wine_run=$1 reporter=$2 scratch=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$scratch" && mkdir -p "$scratch/served" "$scratch/report"
coproc server { exec /usr/bin/python3 "$(dirname "$0")/../../support/fixture_server.py" "$scratch/served"; }
trap 'kill "$server_PID" 2>/dev/null' EXIT
read -r _ port <&"${server[0]}"
cd "$scratch/report" || exit 1
cp "$reporter" SolaneError.exe
err="SolaneLauncher 2026-12-05 14-16-01.ERR" dmp="SolaneLauncher 2026-12-05 14-16-01.DMP"
printf 'the report' >"$err"
# A dump with bytes of every value, a line that looks like a form boundary among them.
{ printf 'MDMP\r\n--SolaneFormBoundary\r\n'; head -c 300000 /dev/urandom; } >"$dmp"
args=("/SolaneError-VANTIK:SolaneLauncher/1.0.3.7/2026-12-05/14-16-01" "/INFO:$err" "/DMP:$dmp" /)

report() {
  printf '[SolaneLauncher.CFG]\r\nCrashReportUrl=%s\r\n' "$1" >SolaneLauncher.CFG
  "$wine_run" ./SolaneError.exe "${args[@]}" </dev/null >output.txt 2>&1
}
report "http://localhost.example:$port/crash"
status=$?
[ "$status" -eq 2 ] || fail "plain http to another host: exit code $status, not 2"
report "http://127.0.0.1:$port/crash"
status=$?
[ "$status" -eq 0 ] || { fail "the report was not sent (exit code $status):"; grep -v '^ALSA' output.txt; }

log=$(curl -s "http://127.0.0.1:$port/__log")
[ "$(grep -c '^REQUEST' <<<"$log")" -eq 1 ] || fail "the server saw $(grep -c '^REQUEST' <<<"$log") requests, not one"
part() { awk -F'\t' -v name="$1" '$1 == "PART" && $2 == name { print $3 "\t" $4 }' <<<"$log"; }
[ "$(cat "$(part report | cut -f2)" 2>/dev/null)" = "SolaneLauncher/1.0.3.7/2026-12-05/14-16-01" ] ||
  fail "the report field differs"
for field in info:"$err" dump:"$dmp"; do
  name=${field%%:*} file=${field#*:}
  [ "$(part "$name" | cut -f1)" = "$file" ] || fail "the $name part is not named $file"
  cmp -s "$(part "$name" | cut -f2)" "$file" || fail "the $name part differs from $file"
done
[ "$failures" -eq 0 ] && echo "the report was sent whole to the loopback server and refused for another host"
exit $((failures > 0))
