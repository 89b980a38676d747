#!/usr/bin/env bash
# tools/with-xvfb started twice at the same moment: each command gets a display of its own that
# accepts connections. Two suites on one screen would move each other's pointer and read each
# other's windows.
set -euo pipefail
tool=$(cd "$(dirname "$0")/../tools" && pwd)/with-xvfb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY
for n in 1 2 3; do
  "$tool" sh -c 'xdpyinfo >/dev/null && echo "$DISPLAY" >"$1"; sleep 2' sh "$work/$n" &
done
wait
displays=$(cat "$work"/1 "$work"/2 "$work"/3 2>/dev/null | sort -u | wc -l)
if [ "$displays" -ne 3 ]; then
  echo "FAIL: three concurrent starts got $(cat "$work"/* 2>/dev/null | tr '\n' ' ')"
  exit 1
fi
echo "1 passed, 0 failed"
