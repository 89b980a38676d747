# Shared by the window's end-to-end test and tools/window-shots (sourced, not run): a private
# Xvfb of a given size, a fresh emulated notebook, kelvane.exe started on it under Wine, and
# the window's places and screenshots in the window's own design coordinates.
# Needs: EXE (kelvane.exe), CLI (a kelvane-cli to make images), RUNNER (array: how to start a
# Windows program), WORK (a scratch folder).

XVFB_PID=
APP_PID=
WINDOW=

xvfb_start() {  # WIDTHxHEIGHT
  xvfb_stop
  local n
  for n in $(seq 130 170); do
    [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "Xvfb did not start on :$n" >&2
  return 1
}

xvfb_stop() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  XVFB_PID=
}

# A Windows path for a host path.
win_path() { "${RUNNER[@]}" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# notebook_make DIR [KEY=VALUE...]: the bundled notebook (controller 0x20, image 0x21), clock
# instant, with the given [Platform] or [Faults] keys replaced or added.
notebook_make() {
  local dir=$1
  shift
  rm -rf "$dir"
  "$HERE/../notebooks/make-demo" "$CLI" "$dir" "${RUNNER[@]}" >/dev/null
  notebook_set "$dir" Clock=instant "$@"
}

notebook_set() {
  local dir=$1 pair key value
  shift
  for pair in "$@"; do
    key=${pair%%=*}
    value=${pair#*=}
    if grep -q "^$key=" "$dir/notebook.ini"; then
      sed -i "s|^$key=.*|$key=$value|" "$dir/notebook.ini"
    else
      sed -i "s|^\[Faults\]|[Faults]\n$key=$value|" "$dir/notebook.ini"
    fi
  done
}

# An image for the notebook's controller at another version, as its only image.
notebook_image() {  # DIR VERSION
  rm -f "$1"/data/*.bin
  "${RUNNER[@]}" "$CLI" make-image "$(win_path "$1/data/image.bin")" --device 0x1578 \
    --blocks 0x04:2,0x01:1,0x20:3 --version "$2" >/dev/null
}

find_window() {
  WINDOW=$(xdotool search --onlyvisible --name '^Kelvane' 2>/dev/null | head -n 1)
  [ -n "$WINDOW" ]
}

# app_start DIR [OPTIONS...]: kelvane.exe /emulate:DIR; waits for its window and its place.
app_start() {
  local dir=$1
  shift
  "${RUNNER[@]}" "$EXE" "/emulate:$(win_path "$dir")" "$@" &
  APP_PID=$!
  local i
  for i in $(seq 200); do
    if find_window; then
      sleep 1.5  # the first composition and the window system's mapping
      eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
      WIN_X=$X WIN_Y=$Y WIN_W=$WIDTH WIN_H=$HEIGHT
      if [ "$WIN_W" -gt 1000 ]; then SCALE_NUM=2; else SCALE_NUM=1; fi
      return 0
    fi
    sleep 0.1
  done
  echo "no window titled Kelvane" >&2
  return 1
}

# Whether the program has ended, within SECONDS.
app_ended() {  # SECONDS
  local i
  for i in $(seq $(($1 * 10))); do
    kill -0 "$APP_PID" 2>/dev/null || { wait "$APP_PID" 2>/dev/null || true; APP_PID=; return 0; }
    sleep 0.1
  done
  return 1
}

app_stop() {
  if [ -n "$APP_PID" ]; then
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
  fi
  APP_PID=
  # The server of the prefix the programs run in (the runner's architecture word, when given):
  # only a new server takes a new screen size.
  local arch=${WINE_ARCH:-}
  [ -n "$arch" ] || case " ${RUNNER[*]:-} " in *" win32 "*) arch=win32 ;; *) arch=win64 ;; esac
  source "$HERE/../tools/wine-env" "$arch"
  # Wait for the server to go: a program started while it ends finds no server.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

# Design coordinates (1560 x 1240 background) to the screen at the window's scale.
sx() { echo $((WIN_X + $1 * SCALE_NUM / 2)); }
sy() { echo $((WIN_Y + $1 * SCALE_NUM / 2)); }
sd() { echo $(($1 * SCALE_NUM / 2)); }

# Clicks the centre of a design rectangle.
click() {  # X Y W H
  xdotool mousemove "$(sx $(($1 + $3 / 2)))" "$(sy $(($2 + $4 / 2)))"
  sleep 0.2
  xdotool click 1
  # Off the buttons again, so no screen shows a hover look by chance: a button that appears
  # under a resting pointer may take the hover look without seeing the pointer leave, so the
  # pointer passes over it once more on its way out.
  sleep 0.3
  xdotool mousemove "$(sx 780)" "$(sy 1000)"
  sleep 0.2
  xdotool mousemove "$(sx $(($1 + $3 / 2)))" "$(sy $(($2 + $4 / 2)))"
  sleep 0.2
  xdotool mousemove "$(sx 780)" "$(sy 1000)"
}

# PNG of a design rectangle of the window (the whole window without arguments).
shot() {  # OUT [X Y W H]
  local out=$1
  if [ $# -eq 1 ]; then
    import -window root -crop "${WIN_W}x${WIN_H}+${WIN_X}+${WIN_Y}" +repage "$out"
  else
    import -window root -crop "$(sd "$4")x$(sd "$5")+$(sx "$2")+$(sy "$3")" +repage "$out"
  fi
}

# Places of the controls in design coordinates.
UPDATE_BTN="1136 1109 368 76"
SHUTDOWN_BTN="466 1109 508 76"
LATER_BTN="996 1109 508 76"
CLOSE_BTN="1448 38 76 76"
