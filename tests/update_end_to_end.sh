#!/usr/bin/env bash
# kelvane.exe end to end: the real program on an emulated notebook under Wine, in Xvfb at
# 1920 x 1080 and 2560 x 1440, driven with xdotool. Each screen is compared by region with a
# reference image kept in tests/reference/update (mean absolute difference per region, so font
# smoothing and capture noise pass and a wrong text, picture or button does not).
# Usage: update_end_to_end.sh KELVANE_EXE KELVANE_CLI RUNNER...
# With KELVANE_REGENERATE=1 it writes the reference images instead of comparing (after a change
# of the art or the texts): tools/update-references.
set -Eeuo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
EXE=$1
CLI=$2
shift 2
RUNNER=("$@")
WORK=$(mktemp -d)
REF=$HERE/reference/update
REGENERATE=${KELVANE_REGENERATE:-0}
source "$HERE/update_window_lib.sh"
cleanup() {
  app_stop
  xvfb_stop
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'echo "FAIL [${SIZE:-}]: line $LINENO: $BASH_COMMAND"' ERR

fail() {
  echo "FAIL [$SIZE]: $* (after ${SECONDS} s)"
  if [ -n "${KELVANE_KEEP_SHOTS:-}" ]; then
    mkdir -p "$KELVANE_KEEP_SHOTS" && cp "$WORK"/*.png "$KELVANE_KEEP_SHOTS"/ 2>/dev/null || true
  fi
  exit 1
}
pass() { echo "ok [$SIZE]: $*"; }

# Regions in design coordinates; the spinner turns, so Working is compared without it.
R_HEADER="0 0 1560 290"
# The message line by line: a missing error code is a small part of a whole message's area.
R_LINE1="100 297 1400 38"
R_LINE2="100 335 1400 38"
R_LINE3="100 373 1400 38"
R_PICTURE="56 498 1448 568"
R_ROW="60 1090 1460 120"
THRESHOLD=0.005  # normalised mean absolute difference per region; a run here gives 0

mae() {  # A B
  compare -metric MAE "$1" "$2" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p'
}
crop() {  # IN OUT X Y W H  (design coordinates, at the window's scale)
  convert "$1" -crop "$(sd "$5")x$(sd "$6")+$(sd "$3")+$(sd "$4")" +repage "$2"
}
# Whether the window now looks like the reference in every region named (R_ variables).
looks_like() {  # NAME REGION...
  local name=$1 ref=$REF/$SIZE-$1.png var value
  shift
  shot "$WORK/$name.png"
  for var in "$@"; do
    # shellcheck disable=SC2086
    crop "$WORK/$name.png" "$WORK/a.png" ${!var}
    # shellcheck disable=SC2086
    crop "$ref" "$WORK/b.png" ${!var}
    value=$(mae "$WORK/a.png" "$WORK/b.png")
    LAST_MAE="$var: $value"
    WORST=$(awk -v v="$value" -v w="${WORST:-0}" 'BEGIN { print (v > w ? v : w) }')
    awk -v v="$value" -v t="$THRESHOLD" 'BEGIN { exit !(v != "" && v <= t) }' || return 1
  done
}
# Waits up to 20 s for the screen; with KELVANE_REGENERATE=1 waits a little and keeps it.
expect_screen() {  # NAME REGION...
  local name=$1 i
  if [ "$REGENERATE" = 1 ]; then
    sleep 3
    mkdir -p "$REF"
    shot "$REF/$SIZE-$name.png"
    echo "wrote $REF/$SIZE-$name.png"
    return 0
  fi
  [ -f "$REF/$SIZE-$name.png" ] || fail "no reference image $SIZE-$name.png"
  for i in $(seq 40); do
    WORST=0
    looks_like "$@" && { pass "$name screen (largest region difference $WORST)"; return 0; }
    sleep 0.5
  done
  fail "the $name screen differs from its reference: $LAST_MAE"
}
expect_full() { expect_screen "$1" R_HEADER R_LINE1 R_LINE2 R_LINE3 R_PICTURE R_ROW; }

window_place() {  # SCREEN_W SCREEN_H WIN_W WIN_H
  [ "$WIN_W" = "$3" ] && [ "$WIN_H" = "$4" ] || fail "window ${WIN_W}x$WIN_H, not $3x$4"
  local x=$((($1 - $3) / 2)) y=$((($2 - $4) / 2))
  [ "$WIN_X" = "$x" ] && [ "$WIN_Y" = "$y" ] || fail "window at $WIN_X,$WIN_Y, not $x,$y"
  pass "window $3x$4 centred at $x,$y"
}

run_size() {  # WIDTH HEIGHT WINDOW_W WINDOW_H FULL
  SIZE=$1x$2
  xvfb_start "$SIZE"
  local nb=$WORK/notebook

  # Start screen, then Close ends the program.
  notebook_make "$nb"
  app_start "$nb"
  window_place "$1" "$2" "$3" "$4"
  expect_full start
  if [ "$5" = full ]; then
    # A second program brings the first window to the front and ends.
    "${RUNNER[@]}" "$EXE" "/emulate:$(win_path "$nb")" &
    local second=$! i
    for i in $(seq 150); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$second" 2>/dev/null && fail "a second kelvane.exe did not end"
    wait "$second" 2>/dev/null || true
    [ "$(xdotool search --onlyvisible --name '^Kelvane' | wc -l)" = 1 ] ||
      fail "a second window appeared"
    kill -0 "$APP_PID" 2>/dev/null || fail "the first program ended"
    pass "a second kelvane.exe ends and leaves the first window"
  fi
  click $CLOSE_BTN
  app_ended 10 || fail "Close did not end the program"
  pass "Close ends the program"
  app_stop

  if [ "$5" = full ]; then
    # A folder that is no notebook: the reason in a message box, never the real hardware.
    mkdir -p "$WORK/empty"
    "${RUNNER[@]}" "$EXE" "/emulate:$(win_path "$WORK/empty")" &
    APP_PID=$!
    local box= i
    for i in $(seq 150); do
      box=$(xdotool search --onlyvisible --name '^Kelvane$' 2>/dev/null | head -n 1) && [ -n "$box" ] && break
      sleep 0.1
    done
    [ -n "$box" ] || fail "no message for a folder that is no notebook"
    eval "$(xdotool getwindowgeometry --shell "$box")"
    [ "$WIDTH" -lt 700 ] || fail "the main window opened on a folder that is no notebook"
    xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key Return
    app_ended 10 || fail "the program did not end after its message"
    pass "a folder that is no notebook is said in a message box"
    app_stop
  fi

  # A full update, then "later" closes and the notebook holds the new firmware.
  notebook_make "$nb"
  app_start "$nb"
  click $UPDATE_BTN
  expect_full success
  click $LATER_BTN
  app_ended 10 || fail "later did not close the window"
  grep -q '^NvmVersion=0x21' "$nb/notebook.ini" || fail "the notebook does not hold 0x21"
  [ ! -e "$nb/poweroff.log" ] || fail "later asked for a power-off"
  pass "later closes; the notebook holds the new firmware"
  app_stop
  [ "$5" = full ] || return 0

  # No control device.
  notebook_make "$nb" AcpiDevice=absent
  app_start "$nb"
  click $UPDATE_BTN
  expect_full nodevice
  click $UPDATE_BTN  # Exit, in the same place
  app_ended 10 || fail "Exit did not end the program"
  app_stop

  # Battery warning; the adapter goes in, and a second press updates.
  notebook_make "$nb" AcOnline=0
  app_start "$nb"
  click $UPDATE_BTN
  expect_full battery
  notebook_set "$nb" AcOnline=1
  click $UPDATE_BTN
  expect_full success
  # Power off now: recorded by the emulation, and the window closes.
  click $SHUTDOWN_BTN
  app_ended 10 || fail "power off now did not close the window"
  grep -q '^power off$' "$nb/poweroff.log" 2>/dev/null || fail "no power-off recorded"
  pass "power off now recorded and the window closed"
  app_stop

  # A refused downgrade, and a failure with its code.
  notebook_make "$nb"
  notebook_image "$nb" 0x1F
  app_start "$nb"
  click $UPDATE_BTN
  expect_full downgrade
  app_stop
  notebook_make "$nb" UpdateReturnValue=5
  app_start "$nb"
  click $UPDATE_BTN
  expect_full failure
  app_stop

  # During Working, Alt+F4 and Esc do not end the program; the attempt runs to its end.
  notebook_make "$nb" Clock=real
  app_start "$nb"
  click $UPDATE_BTN
  expect_screen working R_HEADER R_LINE1 R_LINE2 R_LINE3 R_ROW
  xdotool key --clearmodifiers alt+F4
  sleep 0.5
  xdotool key --clearmodifiers Escape
  sleep 2
  kill -0 "$APP_PID" 2>/dev/null && find_window || fail "Alt+F4 ended the program during Working"
  pass "Alt+F4 and Esc ignored during Working"
  for _ in $(seq 60); do looks_like success R_ROW && break; sleep 1; done
  expect_full success
  app_stop

  # Japanese texts with /LID:411.
  notebook_make "$nb"
  app_start "$nb" /LID:411
  expect_full japanese
  app_stop
}

run_size 1920 1080 780 620 full
run_size 2560 1440 1560 1240 short
echo "all passed"
