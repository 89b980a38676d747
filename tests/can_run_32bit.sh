#!/usr/bin/env bash
# The 32-bit probe of tools/can-run-32bit: a wrong byte in it would make every host look as if
# it had no 32-bit user mode, and the 32-bit suite would be skipped everywhere without a fault
# showing. The program must be a static i386 executable whose entry lies in its one loaded
# segment, must exit 0 where it runs (natively, or under qemu-i386 where that is installed),
# and the tool must say yes exactly where the program runs.
set -euo pipefail
tool=$(cd "$(dirname "$0")/../tools" && pwd)/can-run-32bit
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
probe=$work/probe
"$tool" --write "$probe"
header=$(readelf -h "$probe")
for field in "Class: *ELF32" "Type: *EXEC" "Machine: *Intel 80386" "Entry point address: *0x8048054"; do
  echo "$header" | grep -Eq "$field" || fail "the probe's header lacks $field"
done
readelf -lW "$probe" | grep -Eq 'LOAD +0x000000 0x08048000 0x08048000 0x0005b 0x0005b R E' ||
  fail "the probe's segment does not load its 91 bytes at 0x08048000 read+execute"
[ "$(stat -c %s "$probe")" -eq 91 ] || fail "the probe is not 91 bytes long"

ran=
if command -v qemu-i386 >/dev/null; then
  qemu-i386 "$probe" || fail "the probe exits with $? under qemu-i386"
  ran="under qemu-i386"
fi
if "$probe" 2>/dev/null; then
  "$tool" || fail "the probe runs here, but can-run-32bit says no"
  echo "this host runs 32-bit programs; the probe exits 0 natively${ran:+ and $ran}"
else
  if "$tool" 2>"$work/why"; then fail "the probe does not run here, but can-run-32bit says yes"; fi
  grep -q 'cannot execute 32-bit x86 programs' "$work/why" || fail "no reason given: $(cat "$work/why")"
  echo "this host runs no 32-bit programs: $(cat "$work/why")"
fi
echo "1 passed, 0 failed"
