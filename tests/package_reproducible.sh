#!/usr/bin/env bash
# Two clean builds of the release zip from two copies of the sources at different paths, each
# in its own build folder, must give the same bytes. The copies are the tree as it stands (the
# files git tracks or would add), without its history, so the time of the last commit is passed
# as SOURCE_DATE_EPOCH.
# Usage: package_reproducible.sh PRESET   (windows or windows64)
set -euo pipefail
preset=$1
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
start=$SECONDS
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)

# One snapshot of the tree, copied to both places: an edit during the run must not make the
# two copies differ.
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
  tar --null -T - -cf -) >"$work/sources.tar"
build() {
  local src=$1
  mkdir -p "$src"
  tar -C "$src" -xf "$work/sources.tar"
  (cd "$src" && cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" --target package >/dev/null) ||
    fail "the package does not build in $src"
  ls "$src/build/$preset"/kelvane-*.zip
}
first=$(build "$work/a")
second=$(build "$work/copy-b/sources")
[ "$(basename "$first")" = "$(basename "$second")" ] || fail "two names: $first, $second"
if ! cmp -s "$first" "$second"; then
  mkdir "$work/ua" "$work/ub"
  python3 -m zipfile -e "$first" "$work/ua"
  python3 -m zipfile -e "$second" "$work/ub"
  diff -rq "$work/ua" "$work/ub" || true
  fail "two builds of one commit gave different bytes"
fi
echo "$(basename "$first"): $(stat -c %s "$first") bytes; sha256 of the first build" \
  "$(sha256sum "$first" | cut -c1-64), of the second $(sha256sum "$second" | cut -c1-64)" \
  "($((SECONDS - start)) s for both)"
echo "1 passed, 0 failed"
