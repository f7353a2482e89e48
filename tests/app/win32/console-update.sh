#!/usr/bin/env bash
# The Windows launcher under Wine, end to end on the console: an old installation in a folder with
# a Korean name is brought up to date from a signed release on a local nginx and starts the client
# stand-in with its command line (a Korean web argument included); a tampered Update.NFO is
# refused and leaves the installation as it was; a newer launcher replaces the running one.
#   console-update.sh WINE_RUN LAUNCHER_EXE CLIENT_STANDIN_EXE HOST_PUBLISH SCRATCH
set -uo pipefail
wine_run=$1 launcher=$2 standin=$3 publish=$4 scratch=$5
source "$(dirname "$0")/../../../scripts/common.sh"
# Wine turns the command line into Windows text in the terminal's encoding.
export LC_ALL=C.UTF-8
source "$(dirname "$0")/../../support/win32/script-checks.sh"
require_host_publish "$publish"

rm -rf "$scratch"
release="$scratch/release" www="$scratch/www" install="$scratch/설치 폴더"
mkdir -p "$release/data" "$www" "$install/data"
# A resource pack: the byte N repeated, then its four-byte little-endian version.
pack() { { head -c "$3" /dev/zero | tr '\0' "\\$2"; printf "\\x$(printf %02x "$4")\\0\\0\\0"; } >"$1"; }

stamp "$launcher" "$release/SolaneLauncher.exe" 1.0.0.0
stamp "$standin" "$release/SolaneClient.exe" 1.0.0.1
pack "$release/data/Map.SPF" 101 300000 3
pack "$release/Sound.SPF" 102 50000 2
cat >"$scratch/release.txt" <<'DESCRIPTION'
[Launcher]
File = SolaneLauncher.exe
[Client]
File = SolaneClient.exe
Zip = yes
[Pack]
File = data/Map.SPF
Check = 3
[Pack]
File = Sound.SPF
Flag = MD5
[Delete]
File = OldNotes.txt
[LoginServers]
Address = 127.0.0.1:27015
DESCRIPTION
"$publish" keygen "$scratch/keys" >/dev/null &&
  "$publish" publish --sign "$scratch/keys/publisher.key" "$scratch/release.txt" "$release" "$www/patch" >/dev/null ||
  { echo "FAIL: the release could not be published"; exit 1; }

port=$(solane_free_port)
nginx_pid=$(solane_start_nginx "$scratch/nginx" "$www" "$port") || exit 1
trap 'solane_stop_nginx "$nginx_pid"' EXIT

stamp "$launcher" "$install/SolaneLauncher.exe" 1.0.0.0
stamp "$standin" "$install/SolaneClient.exe" 1.0.0.0
pack "$install/data/Map.SPF" 101 300000 2
echo "notes of an old patch" >"$install/OldNotes.txt"
printf '[SolaneLauncher.CFG]\r\nRun=7\r\nUrl_7=127.0.0.1:%s\r\nType_7=2\r\nServer_Path_7=patch/\r\nLOCALE=KOREA\r\nPUBLISHER=ORVEX\r\nPublisherKey=%s\r\n' \
  "$port" "$(cat "$scratch/keys/publisher.pub")" >"$install/SolaneLauncher.CFG"

# Runs the installed launcher with ARGS; its output goes to $scratch/NAME.txt.
run_launcher() {
  local name=$1
  shift
  (cd "$install" && "$wine_run" ./SolaneLauncher.exe "$@" </dev/null >"$scratch/$name.txt" 2>&1)
}
# The client is started by the launcher and may still be writing its log when the launcher ends.
client_log() {
  local _
  for _ in $(seq 100); do [ -s "$install/SolaneClient.log" ] && break; sleep 0.1; done
  cat "$install/SolaneClient.log" 2>/dev/null
}

# The launcher is a window program: its answers still reach a redirected output, and its help
# names no display.
run_launcher help --help
tr -d '\r' <"$scratch/help.txt" | grep -q -- '^  --console  *use the console instead of the window$' ||
  fail "--help does not print the Windows text of --console:" "$(cat "$scratch/help.txt")"

run_launcher update --console --autorun "/WEBARG:솔레인 서버" /
status=$?
[ "$status" -eq 0 ] || fail "the update ended with $status:" "$(grep -v "^ALSA lib" "$scratch/update.txt")"
for file in SolaneLauncher.exe SolaneClient.exe data/Map.SPF Sound.SPF; do
  cmp -s "$release/$file" "$install/$file" || fail "$file is not the release's"
done
[ ! -e "$install/OldNotes.txt" ] || fail "OldNotes.txt was not deleted"
[ ! -e "$install/Temp" ] || fail "Temp was left behind"
expected='/Full /LoginServer:127.0.0.1:27015 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX /WEBARG:/WEBARG:솔레인`서버`/'
[ "$(client_log)" = "$expected" ] || fail "the client was started with \"$(client_log)\", not \"$expected\""

# One byte of the served Update.NFO changed after signing.
sed -i 's/^BandWidth=0/BandWidth=9/' "$www/patch/Update.NFO"
grep -q '^BandWidth=9' "$www/patch/Update.NFO" || fail "the tampering found no BandWidth line"
before=$(cd "$install" && find . -type f ! -name SolaneClient.log -exec md5sum {} + | sort)
run_launcher tampered --console
status=$?
[ "$status" -ne 0 ] || fail "the tampered release was taken (exit code 0)"
after=$(cd "$install" && find . -type f ! -name SolaneClient.log -exec md5sum {} + | sort)
[ "$before" = "$after" ] || fail "the tampered release changed the installation"
[ "$(client_log | wc -l)" -eq 1 ] || fail "the tampered release started the client"

# A newer launcher: the running one is renamed aside for it, through the chain of launchers that
# the first one starts from Temp (each ends on its own, so the chain is awaited).
stamp "$launcher" "$release/SolaneLauncher.exe" 1.0.1.0
"$publish" publish --sign "$scratch/keys/publisher.key" "$scratch/release.txt" "$release" "$www/patch" >/dev/null ||
  fail "the newer launcher could not be published"
run_launcher self-update --console
for _ in $(seq 600); do
  cmp -s "$release/SolaneLauncher.exe" "$install/SolaneLauncher.exe" && [ ! -e "$install/Temp" ] && break
  sleep 0.2
done
cmp -s "$release/SolaneLauncher.exe" "$install/SolaneLauncher.exe" ||
  fail "the launcher was not replaced:" "$(grep -v "^ALSA lib" "$scratch/self-update.txt")"
[ ! -e "$install/Temp" ] || fail "Temp was left behind after the self-update"

[ "$failures" -eq 0 ] && echo "the console update, the refusal of a tampered release and the self-update as expected"
exit $((failures > 0))
