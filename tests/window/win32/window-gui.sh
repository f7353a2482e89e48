#!/usr/bin/env bash
# The Windows window under Wine on Xvfb, driven with xdotool, in each of the six layouts: half-way
# through the scripted update both bars stand at their rectangles, filled in the bar colour up to
# their share, empty beyond it, in a black frame, and the START button is hidden; once the update
# ends the START button shows its normal picture at its place. Esc, and Return on the exit button
# that the pointer hovers, ask message 118 while work runs: Cancel keeps the window, OK closes it.
# A click on a login server row (USA) moves the selection bar to it.
#   window-gui.sh WINE_RUN PREVIEW SCRATCH SKIN_BITMAPS
set -uo pipefail
wine_run=$1 preview=$2 scratch=$3 skin=$4
source "$(dirname "$0")/../../support/win32/script-checks.sh"
require_display
rm -rf "$scratch" && mkdir -p "$scratch"
# The preview keeps the player's settings beside itself, as the launcher does: each layout starts
# from a folder without them.
cp "$preview" "$scratch/SolaneWindowPreview.exe"


# The client area as the screen shows it now.
grab() { import -window root -crop "633x470+$ox+$oy" +repage "$scratch/client.png"; }
# "r,g,b" of client pixel X Y in the last grab.
pixel() {
  convert "$scratch/client.png" -format "%[fx:int(255*p{$1,$2}.r+.5)],%[fx:int(255*p{$1,$2}.g+.5)],%[fx:int(255*p{$1,$2}.b+.5)]" info:
}
bar_colour="119,77,104" back_colour="255,251,242" frame_colour="0,0,0"

# bar_shows TOP FILLED_UP_TO: the bar whose rectangle starts at (28, TOP) is filled to x FILLED_UP_TO.
bar_shows() {
  local top=$1 filled=$2
  [ "$(pixel $((filled - 20)) $((top + 7)))" = "$bar_colour" ] && [ "$(pixel $((filled + 20)) $((top + 7)))" = "$back_colour" ] &&
    [ "$(pixel 200 $((top + 1)))" = "$frame_colour" ] && [ "$(pixel 388 $((top + 7)))" = "$frame_colour" ]
}
half_way_shown() {
  grab
  # 50 % of the file bar's 360 inner pixels, 5000 of 10700 KiB of the total bar's.
  bar_shows "$file_bar" $((29 + 180)) && bar_shows "$total_bar" $((29 + 168))
}
# place_shows X Y PICTURE: the 85 x 46 place at client (X, Y) shows bitmap PICTURE, every pixel.
place_shows() {
  grab
  convert "$scratch/client.png" -crop "85x46+$1+$2" +repage "$scratch/place.png"
  [ "$(compare -metric AE "$scratch/place.png" "$skin/$3.bmp" null: 2>&1)" = 0 ]
}
start_button_shown() { place_shows "$start_x" "$start_y" "$start_picture"; }
question_open() { xdotool search --name '^SolaneWindowPreview$' >/dev/null 2>&1; }
question_closed() { ! question_open; }
preview_ended() { ! kill -0 "$pid" 2>/dev/null; }

# check_layout LOCALE PUBLISHER STATUS_TOP START_X START_Y START_PICTURE
check_layout() {
  local name="$1-$2"
  file_bar=$(($3 + 16)) total_bar=$(($3 + 34)) start_x=$4 start_y=$5 start_picture=$6
  rm -f "$scratch/go" "$scratch/output.txt" "$scratch/SERVER.DAT" "$scratch/SolaneLauncher.CFG"
  (cd "$scratch" && exec "$wine_run" ./SolaneWindowPreview.exe "$1" "$2" "Z:$scratch/go" >output.txt 2>&1) &
  pid=$!
  if ! until_true 120 grep -q client-origin "$scratch/output.txt"; then
    fail "$name: the window did not open:"; cat "$scratch/output.txt"; kill "$pid"; return
  fi
  read -r _ ox oy < <(grep client-origin "$scratch/output.txt" | tr -d "\r")
  until_true 120 half_way_shown || fail "$name: the bars do not stand half-way (file bar at y $file_bar, total bar at y $total_bar)"
  start_button_shown && fail "$name: the START button shows before the update has ended"
  touch "$scratch/go"
  until_true 120 start_button_shown || fail "$name: the START button does not show picture $start_picture at ($start_x, $start_y)"
  cp "$scratch/client.png" "$scratch/$name.png"

  if [ "$name" = KOREA-ORVEX ]; then
    # The pointer over the exit button gives it the focus and its mouse-over picture; leaving
    # gives the focus back to the window and the normal picture. Return on the hovered button
    # presses it: the exit question opens over the running update, and Cancel keeps the window.
    xdotool mousemove $((ox + 560)) $((oy + 427))
    until_true 60 place_shows 520 404 139 || fail "$name: the exit button under the pointer does not show picture 139"
    xdotool mousemove $((ox + 300)) $((oy + 200))
    until_true 60 place_shows 520 404 140 || fail "$name: the exit button keeps its mouse-over picture after the pointer left"
    xdotool mousemove $((ox + 560)) $((oy + 427))
    until_true 60 place_shows 520 404 139 || fail "$name: the exit button under the pointer again does not show picture 139"
    xdotool key Return
    until_true 60 question_open || fail "$name: Return on the exit button asks nothing"
    xdotool key Escape
    until_true 60 question_closed || fail "$name: Cancel leaves the question open"
    sleep 2
    preview_ended && fail "$name: Cancel closed the window"
    xdotool mousemove $((ox + 300)) $((oy + 200))
  fi
  if [ "$name" = USA-QUADRIUM ]; then
    # The second of the login server rows is selected; a click on the first row's name moves the
    # selection bar there.
    local first second
    first=$(pixel 30 96) second=$(pixel 30 113)
    [ "$first" != "$second" ] || fail "$name: the selected second row looks like the first"
    xdotool mousemove $((ox + 60)) $((oy + 96)) click 1
    row_moved() { grab; [ "$(pixel 30 96)" = "$second" ] && [ "$(pixel 30 113)" != "$second" ]; }
    until_true 60 row_moved || fail "$name: a click on the first row does not move the selection bar there ($first, $second; now $(pixel 30 96), $(pixel 30 113))"
    xdotool mousemove $((ox + 300)) $((oy + 200))
  fi
  xdotool key Escape
  if until_true 60 question_open; then
    xdotool key Return
    until_true 60 preview_ended || fail "$name: OK on the question does not close the window"
  else
    fail "$name: Esc does not ask message 118"
  fi
  preview_ended || kill "$pid"
  wait "$pid" 2>/dev/null
  echo "$name: checked"
}

check_layout KOREA ORVEX 396 410 404 144
check_layout KOREA HALVERSTON 396 410 404 144
check_layout JAPAN ORVEX 396 410 404 164
check_layout JAPAN MIRELLA 396 410 404 164
check_layout CHINA VORN 386 416 393 174
check_layout USA QUADRIUM 396 410 404 190

[ "$failures" -eq 0 ] && echo "the window shows every layout as expected"
exit $((failures > 0))
