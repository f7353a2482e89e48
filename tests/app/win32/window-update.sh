#!/usr/bin/env bash
# The Windows launcher's own window under Wine on Xvfb, driven with xdotool: a USA installation is
# brought up to date from a release on a local nginx, whose login servers fill the window's list.
# While the (rate-limited) update runs, Esc asks message 118 and Cancel keeps the window, and the
# system menu's About entry opens its box. Once "Update is completed" the START button shows; a
# click on the third server row and on START hands that server to the client stand-in.
#   window-update.sh WINE_RUN LAUNCHER_EXE CLIENT_STANDIN_EXE HOST_PUBLISH SCRATCH SKIN_BITMAPS
set -uo pipefail
wine_run=$1 launcher=$2 standin=$3 publish=$4 scratch=$5 skin=$6
source "$(dirname "$0")/../../../scripts/common.sh"
source "$(dirname "$0")/../../support/win32/script-checks.sh"
require_display
require_host_publish "$publish"

rm -rf "$scratch"
release="$scratch/release" www="$scratch/www" install="$scratch/install"
mkdir -p "$release" "$www" "$install"
stamp "$launcher" "$release/SolaneLauncher.exe" 1.0.0.0
stamp "$standin" "$release/SolaneClient.exe" 1.0.0.1
# Large enough that the rate-limited update runs for a while.
head -c 3000000 /dev/urandom >"$release/Data.SPF"
printf '\x02\0\0\0' >>"$release/Data.SPF"
{
  printf '[Launcher]\nFile = SolaneLauncher.exe\n[Client]\nFile = SolaneClient.exe\n[Pack]\nFile = Data.SPF\n'
  for n in 1 2 3 4; do printf '[ListedServer]\nName = Realm %d\nLabel = realm%d\nAddress = 127.0.0.%d:27015\n' "$n" "$n" "$n"; done
} >"$scratch/release.txt"
"$publish" publish "$scratch/release.txt" "$release" "$www/patch" >"$scratch/publish.txt" 2>&1 ||
  { echo "FAIL: the release could not be published"; exit 1; }

port=$(solane_free_port)
nginx_pid=$(solane_start_nginx "$scratch/nginx" "$www" "$port") || exit 1
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; solane_stop_nginx "$nginx_pid"' EXIT

stamp "$launcher" "$install/SolaneLauncher.exe" 1.0.0.0
stamp "$standin" "$install/SolaneClient.exe" 1.0.0.0
printf '[SolaneLauncher.CFG]\r\nRun=7\r\nUrl_7=127.0.0.1:%s\r\nType_7=2\r\nServer_Path_7=patch/\r\nLOCALE=USA\r\nPUBLISHER=QUADRIUM\r\n' \
  "$port" >"$install/SolaneLauncher.CFG"

window_shown() { wid=$(xdotool search --onlyvisible --name '^Solane Launcher$' 2>/dev/null | head -n 1) && [ -n "$wid" ]; }
box_open() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
box_closed() { ! box_open "$1"; }
launcher_ended() { ! kill -0 "$pid" 2>/dev/null; }
# The START button's 85 x 46 place at client (410, 404) shows its normal picture, every pixel.
start_button_shown() {
  import -window "$wid" -crop 85x46+410+404 +repage "$scratch/place.png" 2>/dev/null &&
    [ "$(compare -metric AE "$scratch/place.png" "$skin/190.bmp" null: 2>&1)" = 0 ]
}
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

# The debug output says each status line as the window shows it.
(cd "$install" && SOLANE_DEBUG_OUTPUT=1 exec "$wine_run" ./SolaneLauncher.exe --limit-rate=150 </dev/null \
  >"$scratch/launcher.txt" 2>&1) &
pid=$!
until_true 120 window_shown || { fail "no window opened:" "$(grep -v "^ALSA lib" "$scratch/launcher.txt" | tail -n 5)"; exit 1; }

# Work runs: Esc asks message 118, Cancel keeps the window.
xdotool key Escape
until_true 60 box_open SolaneLauncher || fail "Esc asks nothing while the update runs"
xdotool key Escape
until_true 60 box_closed SolaneLauncher || fail "Cancel leaves the exit question open"
# The system menu's last entry is About (the menu's loop reads the keys queued after Alt+Space; a
# launcher that Cancel ended opens no box).
xdotool key alt+space Up Return
until_true 60 box_open 'Solane Launcher Information' || fail "the system menu's About entry opens no box"
xdotool key Return
until_true 60 box_closed 'Solane Launcher Information' || fail "OK leaves the About box open"

until_true 300 grep -q '^update completed' "$scratch/launcher.txt" ||
  fail "the update did not complete: $(grep '^status: ' "$scratch/launcher.txt" | tail -n 1)"
grep -q '^status: Update is completed' "$scratch/launcher.txt" || fail "the status line never said \"Update is completed\""
until_true 60 start_button_shown || fail "the START button does not show once the update is complete"
for file in SolaneLauncher.exe SolaneClient.exe Data.SPF; do
  cmp -s "$release/$file" "$install/$file" || fail "$file is not the release's"
done

# The window's thread takes the two clicks in their order.
click 60 130
click 452 427
until_true 120 launcher_ended || fail "START did not end the launcher"
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "the launcher ended with $status"
for _ in $(seq 100); do [ -s "$install/SolaneClient.log" ] && break; sleep 0.1; done
expected='/Full /LoginServer:127.0.0.3:27015 /Run:VHIGH /LOCALE:USA /PUBLISHER:QUADRIUM'
[ "$(cat "$install/SolaneClient.log" 2>/dev/null)" = "$expected" ] ||
  fail "the client was started with \"$(cat "$install/SolaneClient.log" 2>/dev/null)\", not \"$expected\""

[ "$failures" -eq 0 ] && echo "the launcher's window updated the installation and started the chosen server"
exit $((failures > 0))
