#!/usr/bin/env bash
# replay.sh BINARY TARGET ROOT WORKDIR: the target's seeds and its saved findings, replayed.
set -euo pipefail
bin=$1 target=$2 root=$3 work=$4
rm -rf "${work:?}/$target"
"$root/fuzz/make-seeds" "$target" "$work/$target"
exec "$bin" "$work/$target" "$root/tests/data/fuzz-regressions/$target"
