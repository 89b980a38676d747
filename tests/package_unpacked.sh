#!/usr/bin/env bash
# The release zip as a user gets it: unpacked into a fresh folder, every file as SHA256SUMS
# lists it, and the programs run from there against an emulated notebook, with the image put
# into the package's own data folder and the texts read from the package's own Update.ini.
#   cli     kelvane-cli.exe check and text, and its exit statuses as README.txt gives them
#   window  kelvane.exe /emulate: opens its window
# Usage: package_unpacked.sh cli|window ZIP [RUNNER...]   (RUNNER: how to start a Windows program)
set -euo pipefail
part=$1
zip=$2
shift 2
runner=("$@")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
program_pid=
cleanup() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
path_arg() {
  if [ ${#runner[@]} -eq 0 ]; then echo "$1"; return; fi
  "${runner[@]}" winepath -w "$1" 2>/dev/null | tr -d '\r'
}

pkg=$work/unpacked
mkdir "$pkg"
python3 -m zipfile -e "$zip" "$pkg" || fail "$zip does not unpack"
for file in kelvane-cli.exe data/Update.ini data/PUT-IMAGE-HERE.txt README.txt LICENSE.txt; do
  [ -f "$pkg/$file" ] || fail "the package has no $file"
done
# SHA256SUMS names every other file, and each one matches.
(cd "$pkg" && sha256sum --quiet -c SHA256SUMS) || fail "a file does not match SHA256SUMS"
listed=$(cut -c67- "$pkg/SHA256SUMS" | sort)
present=$(cd "$pkg" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS lists: $listed; the package holds: $present"

# A notebook at the image's version minus one; the user puts the newer image into data.
notebook=$work/notebook
WINEDEBUG=-all "$here/../notebooks/make-demo" "$pkg/kelvane-cli.exe" "$notebook" "${runner[@]}"
sed -i 's/^Clock=.*/Clock=instant/' "$notebook/notebook.ini"
mv "$notebook/data/newer.bin" "$pkg/data/"
# Without a data folder of its own the notebook leaves the programs to the package's.
rm -rf "$notebook/data"
nb=$(path_arg "$notebook")
cd "$work"  # not the package: the programs find data beside themselves

if [ "$part" = window ]; then
  [ -f "$pkg/kelvane.exe" ] || fail "the package holds no kelvane.exe"
  "${runner[@]}" "$pkg/kelvane.exe" "/emulate:$nb" &
  program_pid=$!
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name '^Kelvane' >/dev/null 2>&1 && break
    kill -0 "$program_pid" 2>/dev/null || fail "kelvane.exe ended without showing its window"
    sleep 0.1
  done
  window=$(xdotool search --onlyvisible --name '^Kelvane' | head -n 1)
  [ -n "$window" ] || fail "no window titled 'Kelvane'"
  # The main window, not a message about an unusable notebook.
  eval "$(xdotool getwindowgeometry --shell "$window")"
  [ "$WIDTH" -ge 780 ] || fail "a window of $WIDTH x $HEIGHT, not the main window"
  echo "1 passed, 0 failed"
  exit 0
fi

cli() { "${runner[@]}" "$pkg/kelvane-cli.exe" "$@"; }
out=$(cli check --emulate "$nb" --json) || fail "check from the unpacked package: $out"
echo "$out" | tr -d '\r' | tail -n 1 | grep -q '"name":"UR_OK","wrote":false' ||
  fail "check did not find the image in the package's data folder compatible: $out"
# The language file beside the program: English text for a key.
out=$(cli text IDS_PROMPT --lid 409) || fail "text from the unpacked package: $out"
[ -n "$(echo "$out" | tr -d '\r\n ')" ] || fail "no IDS_PROMPT text from the package's Update.ini"
# README.txt gives the exit statuses that the program itself prints.
usage=$(cli --help | tr -d '\r' | sed -n '/^Exit status:$/,$p' | tail -n +2 | sed '/^$/d')
readme=$(tr -d '\r' <"$pkg/README.txt" | sed -n "/^Exit status of kelvane-cli.exe:$/,/^Check/p" |
  sed '1d;$d;/^$/d')
[ "$usage" = "$readme" ] || fail "README.txt's exit statuses differ from kelvane-cli --help"
echo "1 passed, 0 failed"
