#!/usr/bin/env bash
# The skin buttons under a real pointer: the demo's start screen driven with xdotool and read
# back from the screen. Over the Update button it brightens, pressed it darkens, and a release
# over it is one click, after which it shows its normal look until the pointer leaves and comes
# back. The disabled Exit button keeps its look and reports no click.
# Usage: skin_pointer_end_to_end.sh SKIN_DEMO [RUNNER...]   (needs DISPLAY)
set -euo pipefail
demo=$1
shift
runner=("$@")
work=$(mktemp -d)
out=$work/demo.out
demo_pid=
cleanup() {
  if [ -n "$demo_pid" ]; then
    kill "$demo_pid" 2>/dev/null || true
    wait "$demo_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $* (after ${SECONDS} s)"
  echo "--- demo output:"
  tr -d '\r' <"$out"
  exit 1
}
# Runs a condition every 0.1 s until it holds or SECONDS seconds pass.
within() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}
lines() { tr -d '\r' <"$out"; }
clicks() { lines | grep -c "^click $1\$" || true; }

# The demo stays open until the test ends it: a lifetime of its own would close it in the middle
# of a slow run. A cold start under Wine on a loaded machine takes tens of seconds.
"${runner[@]}" "$demo" --pointer >"$out" &
demo_pid=$!
within 60 grep -q '^ready' "$out" || fail "the demo did not start"
read -r _ ux uy uw uh < <(lines | grep '^update ')
read -r _ ex ey ew eh < <(lines | grep '^exit ')

find_window() { window=$(xdotool search --onlyvisible --name '^Kelvane skin demo$' | head -n 1); }
within 10 find_window || fail "no window titled 'Kelvane skin demo'"
# Input goes to the window that has the focus; a focus change in the middle of a press would
# cancel the click.
focused() { [ "$(xdotool getwindowfocus -f)" = "$window" ]; }
within 10 focused || fail "the window never got the input focus"
eval "$(xdotool getwindowgeometry --shell "$window")"
inside() { [ "$1" -ge "$X" ] && [ "$2" -ge "$Y" ] && [ $(($1 + $3)) -le $((X + WIDTH)) ] &&
  [ $(($2 + $4)) -le $((Y + HEIGHT)) ]; }
if ! inside "$ux" "$uy" "$uw" "$uh" || ! inside "$ex" "$ey" "$ew" "$eh"; then
  fail "the buttons lie outside the window at ${WIDTH}x${HEIGHT}+$X+$Y"
fi

# Mean brightness (0..1) of a screen region.
mean() { import -window root -crop "$3x$4+$1+$2" png:- | convert png:- -format '%[fx:mean]' info:; }
update_mean() { mean "$ux" "$uy" "$uw" "$uh"; }
exit_mean() { mean "$ex" "$ey" "$ew" "$eh"; }
# Whether A - B exceeds D (all decimals).
above() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit !(a - b > d) }'; }
same() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; exit !(d < 0.002 && d > -0.002) }'; }
STEP=0.02  # far below the difference of any two looks, far above capture noise

# The pointer rests on the window's background above the button row: over the window (so the
# system sees it leave a button) but over neither button.
away() { xdotool mousemove "$((ux + uw / 2))" "$((uy - 3 * uh))"; }
onto() { xdotool mousemove "$(($1 + $3 / 2))" "$(($2 + $4 / 2))"; }

# 1. Away from the buttons: the normal faces, once the composed window is on the screen.
away
settled() {
  local a b
  a=$(update_mean) && above "$a" 0.05 0 && b=$(update_mean) && same "$a" "$b" && normal=$b
}
within 10 settled || fail "the Update button never showed on the screen"
exit_normal=$(exit_mean)

# 2. Over the Update button: the hover face, brighter than the normal one.
onto "$ux" "$uy" "$uw" "$uh"
hovered() { hover=$(update_mean) && above "$hover" "$normal" "$STEP"; }
within 10 hovered || fail "no hover look over Update: $(update_mean), normal $normal"

# 3. Press: the pressed face, darker than hover, and no click yet. Release over the button: one
# click, and the normal look, since the release ends the hover until the pointer comes back.
xdotool mousedown 1
pressed() { press=$(update_mean) && above "$hover" "$press" "$STEP"; }
within 10 pressed || fail "no pressed look: $(update_mean), hover $hover"
[ "$(clicks update)" -eq 0 ] || fail "a click was reported on the press"
xdotool mouseup 1
clicked() { [ "$(clicks update)" -ge 1 ]; }
within 10 clicked || fail "no click reported for the release over Update"
released() { same "$(update_mean)" "$normal"; }
within 10 released || fail "not the normal look after the click: $(update_mean), normal $normal"
away
within 10 released || fail "leaving Update did not give the normal look"
onto "$ux" "$uy" "$uw" "$uh"
within 10 hovered || fail "no hover look when the pointer came back: $(update_mean)"

# 4. The disabled Exit button: pointer over it, press and release. Then the pointer goes back to
# Update and its hover is awaited: the window handles input in order, so anything Exit would
# have shown or sent has happened by then.
away
within 10 released || fail "leaving Update did not give the normal look"
onto "$ex" "$ey" "$ew" "$eh"
sleep 0.3
same "$(exit_mean)" "$exit_normal" || fail "the disabled Exit button changed its look on hover"
xdotool mousedown 1
sleep 0.3
same "$(exit_mean)" "$exit_normal" || fail "the disabled Exit button changed its look on press"
xdotool mouseup 1
away
onto "$ux" "$uy" "$uw" "$uh"
within 10 hovered || fail "no hover look over Update after Exit: $(update_mean)"
same "$(exit_mean)" "$exit_normal" || fail "the disabled Exit button changed its look"
[ "$(clicks exit)" -eq 0 ] || fail "the disabled Exit button reported a click"
[ "$(clicks update)" -eq 1 ] || fail "$(clicks update) clicks on Update, expected exactly 1"

echo "1 passed, 0 failed"
