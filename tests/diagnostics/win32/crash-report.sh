#!/usr/bin/env bash
# The Windows crash reporter under Wine: each crash of the test program leaves the box's text in
# the .ERR file and a minidump in the .DMP file beside the program; lldb, when there is one, reads
# the dump of the null write back to the crashing function.
#   crash-report.sh WINE_RUN CRASH_PROGRAM SCRATCH [LLDB]
set -uo pipefail
wine_run=$1 program=$2 scratch=$3 lldb=${4:-}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

check_crash() {
  local kind=$1 name=$2
  local folder="$scratch/$kind"
  rm -rf "$folder" && mkdir -p "$folder" && cp "$program" "$folder/CrashProgram.exe"
  (cd "$folder" && "$wine_run" ./CrashProgram.exe "$kind" >"$folder/output.txt" 2>&1)
  local status=$?
  [ "$status" -ne 0 ] && [ "$status" -ne 3 ] || fail "$kind: the program ended with $status"
  local errs=("$folder"/CrashProgram\ ????-??-??\ ??-??-??.ERR) dmps=("$folder"/CrashProgram\ ????-??-??\ ??-??-??.DMP)
  if [ ! -f "${errs[0]}" ] || [ ! -f "${dmps[0]}" ]; then
    fail "$kind: no .ERR and .DMP in $folder:"; ls "$folder"; cat "$folder/output.txt"
    return
  fi
  grep -q "$name" "${errs[0]}" || fail "$kind: the .ERR file does not name $name"
  grep -q "1\.0\.3\.7" "${errs[0]}" || fail "$kind: the .ERR file lacks the program's version"
  # The box shows what the file holds.
  grep -qF "$(head -c 60 "${errs[0]}")" "$folder/output.txt" || fail "$kind: the box and the .ERR file differ"
  [ "$(head -c 4 "${dmps[0]}")" = "MDMP" ] || fail "$kind: the .DMP file is no minidump"
  echo "$kind: $(basename "${errs[0]}") $(stat -c %s "${dmps[0]}") bytes of dump"
}

check_crash null-write EXCEPTION_ACCESS_VIOLATION
check_crash divide-by-zero EXCEPTION_INT_DIVIDE_BY_ZERO
check_crash uncaught-exception "Microsoft C++ Exception"

if [ -n "$lldb" ]; then
  dump=("$scratch/null-write"/*.DMP)
  backtrace=$("$lldb" --batch -o "bt" --core "${dump[0]}" "$scratch/null-write/CrashProgram.exe" 2>&1)
  grep -q "CrashByNullWrite" <<<"$backtrace" || { fail "lldb does not name the crashing function:"; echo "$backtrace"; }
fi
[ "$failures" -eq 0 ] && echo "all crash reports as expected"
exit $((failures > 0))
