#!/usr/bin/env bash
# kelvane-cli as a user runs it, as a separate process: a write that persists and a second
# check that sees it; a refusal that leaves every file of the emulation folder unchanged.
# Usage: cli_end_to_end.sh KELVANE-CLI [RUNNER...]   (RUNNER: how to start a Windows program)
set -euo pipefail
cli=$1
shift
runner=("$@")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Windows programs under Wine get Windows paths.
path_arg() {
  if [ ${#runner[@]} -eq 0 ]; then echo "$1"; return; fi
  "${runner[@]}" winepath -w "$1" 2>/dev/null | tr -d '\r'
}
cli_run() { "${runner[@]}" "$cli" "$@"; }
fail() { echo "FAIL: $*"; exit 1; }
last_line() { tr -d '\r' | tail -n 1; }

notebook=$work/notebook
WINEDEBUG=-all "$here/../notebooks/make-demo" "$cli" "$notebook" "${runner[@]}"
sed -i 's/^Clock=.*/Clock=instant/' "$notebook/notebook.ini"
nb=$(path_arg "$notebook")
data=$(path_arg "$notebook/data")

# Without --data the notebook's own data folder is searched, and the output names it.
if [ ${#runner[@]} -eq 0 ]; then sep=/; else sep='\'; fi
out=$(cli_run check --emulate "$nb" --json) || fail "check without --data: $out"
echo "$out" | tr -d '\r' | grep -qxF "image folder: $nb${sep}data" || fail "no image folder line: $out"
echo "$out" | last_line | grep -q '"image":"newer.bin","imageEntries":1' || fail "check: $out"

# A newer image is written and the emulated controller keeps it.
out=$(cli_run update --emulate "$nb" --data "$data" --json) || fail "update: $out"
echo "$out" | last_line | grep -q '"result":"0x00000000","name":"UR_OK","wrote":true' ||
  fail "update did not report a write: $out"
grep -q '^NvmVersion=0x21' "$notebook/notebook.ini" || fail "the new version was not saved"

# The next run sees the new firmware: the same image is no downgrade and checks clean.
out=$(cli_run check --emulate "$nb" --data "$data" --json) || fail "check: $out"
echo "$out" | last_line | grep -q '"name":"UR_OK","wrote":false' || fail "check: $out"

# An older image is refused and nothing in the folder changes.
cli_run make-image "$(path_arg "$notebook/data/newer.bin")" --device 0x1578 \
  --blocks 0x04:2,0x01:1,0x20:3 --version 0x10 >/dev/null
before=$(cd "$notebook" && find . -type f -exec sha256sum {} + | sort)
status=0
out=$(cli_run update --emulate "$nb" --data "$data" --json) || status=$?
[ "$status" -eq 1 ] || fail "a refused update exited with $status: $out"
echo "$out" | last_line | grep -q '"name":"UR_DOWNGRADE_REFUSED","wrote":false' ||
  fail "the downgrade was not refused: $out"
after=$(cd "$notebook" && find . -type f -exec sha256sum {} + | sort)
[ "$before" = "$after" ] || fail "a refused update changed the emulation folder"

# An entry whose name holds a separator never leads out of the folder (Linux names only: on
# Windows no name holds one).
if [ ${#runner[@]} -eq 0 ]; then
  mkdir "$work/trap"
  cp "$notebook/data/newer.bin" "$work/trap/other.bin"
  mkdir "$work/trap/data"
  cp "$notebook/data/newer.bin" "$work/trap/data/..\\other.bin"
  status=0
  out=$(cli_run check --emulate "$nb" --data "$work/trap/data" --json) || status=$?
  [ "$status" -eq 1 ] || fail "a separator name was taken ($status): $out"
  echo "$out" | grep -qF 'passed over "..\other.bin": its name holds a path separator' ||
    fail "the separator name was not reported: $out"
  echo "$out" | last_line | grep -q '"name":"UR_NO_IMAGE".*"image":null' || fail "$out"
fi

# A usage error is short and points to --help; a folder that is no notebook still ends with the
# JSON object.
status=0
err=$(cli_run make-image x.bin --device 2>&1 >/dev/null) || status=$?
[ "$status" -eq 2 ] || fail "a usage error exited with $status"
echo "$err" | grep -q 'kelvane-cli --help' || fail "no pointer to --help: $err"
echo "$err" | grep -q 'Exit status' && fail "a usage error printed the whole help: $err"
status=0
out=$(cli_run update --emulate "$(path_arg "$work")" --json 2>/dev/null) || status=$?
[ "$status" -eq 5 ] || fail "a folder without notebook.ini exited with $status"
echo "$out" | last_line | grep -q '"result":null,"name":"unreadable"' || fail "no JSON: $out"

# Erased flash before the main section (the word at 0 is 0xFFFF): the controller's image and
# the new one both follow the word at 0x1000, in check and in update alike.
erased=$work/erased
mkdir -p "$erased/data"
cp "$notebook/notebook.ini" "$erased/"
sed -i -e 's/^NvmImage=.*/NvmImage=current.bin/' -e 's/^NvmVersion=.*/NvmVersion=0x20/' \
  "$erased/notebook.ini"
image=(--device 0x1578 --blocks 0x04:2,0x01:1,0x20:3 --header erased)
cli_run make-image "$(path_arg "$erased/current.bin")" "${image[@]}" --version 0x20 >/dev/null
cli_run make-image "$(path_arg "$erased/data/newer.bin")" "${image[@]}" --version 0x21 >/dev/null
nb=$(path_arg "$erased")
data=$(path_arg "$erased/data")
out=$(cli_run check --emulate "$nb" --data "$data" --json) || fail "erased check: $out"
echo "$out" | last_line | grep -q '"name":"UR_OK","wrote":false' || fail "erased check: $out"
out=$(cli_run update --emulate "$nb" --data "$data" --json) || fail "erased update: $out"
echo "$out" | last_line | grep -q '"name":"UR_OK","wrote":true' || fail "erased update: $out"
grep -q '^NvmVersion=0x21' "$erased/notebook.ini" || fail "erased: the new version was not saved"
written=$(sed -n 's/^NvmImage=//p' "$erased/notebook.ini" | tr -d '\r')
cmp -s "$erased/$written" "$erased/data/newer.bin" || fail "erased: the stored image differs"

# Two attempts on one notebook at once: the second is refused while the first runs (real
# waits, about 20 s), exactly one writes, and the folder holds one whole firmware.
race=$work/race
mkdir -p "$race/data"
cp "$erased/current.bin" "$erased/data/newer.bin" "$race/" && mv "$race/newer.bin" "$race/data/"
cp "$here/../notebooks/demo/notebook.ini" "$race/"
nb=$(path_arg "$race")
data=$(path_arg "$race/data")
cli_run update --emulate "$nb" --data "$data" --json >"$work/first.out" 2>&1 &
first=$!
for _ in $(seq 1 100); do
  grep -q 'device on' "$work/first.out" && break
  sleep 0.2
done
grep -q 'device on' "$work/first.out" || fail "the first attempt did not start: $(cat "$work/first.out")"
status=0
out=$(cli_run update --emulate "$nb" --data "$data" --json 2>&1) || status=$?
[ "$status" -eq 6 ] || fail "a second attempt at once exited with $status: $out"
echo "$out" | last_line | grep -q '"name":"UR_ATTEMPT_RUNNING","wrote":false' ||
  fail "the second attempt was not refused as such: $out"
wait "$first" || fail "the first attempt failed: $(cat "$work/first.out")"
last_line <"$work/first.out" | grep -q '"name":"UR_OK","wrote":true' ||
  fail "the first attempt did not write: $(cat "$work/first.out")"
grep -q '^NvmVersion=0x21' "$race/notebook.ini" || fail "race: the new version was not saved"
written=$(sed -n 's/^NvmImage=//p' "$race/notebook.ini" | tr -d '\r')
cmp -s "$race/$written" "$race/data/newer.bin" || fail "race: the stored image is not whole"
cmp -s "$race/current.bin" "$erased/current.bin" || fail "race: the notebook's own image changed"
[ -z "$(find "$race" -name '*.tmp' -o -name notebook.lock)" ] ||
  fail "race: temporary or lock files were left"

echo "1 passed, 0 failed"
