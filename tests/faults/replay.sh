#!/usr/bin/env bash
# replay.sh BINARY TARGET ROOT WORKDIR: the target's seeds and its saved findings, replayed.
set -euo pipefail
bin=$1 target=$2 root=$3 work=$4
rm -rf "${work:?}/$target"
"$root/fuzz/make-seeds" "$target" "$work/$target"
# A cross build's program runs through its emulator (wine), named by the test's environment.
exec ${ZAVLEN_TEST_EMULATOR:-} "$bin" "$work/$target" "$root/tests/data/fuzz-regressions/$target"
