#!/usr/bin/env bash
# The long run: every fuzz target (or those named) for 10 minutes each, one
# after another at the lowest priority, with the execution counts, speeds and
# corpus sizes at the end (the figures of docs/reliability.md).
#
#   fuzz/long.sh [TARGET ...]     FUZZ_LONG_SECONDS overrides the 600 s
set -euo pipefail
cd "$(dirname "$0")/.."
FUZZ_NICE=${FUZZ_NICE:-19} exec fuzz/run.sh "${FUZZ_LONG_SECONDS:-600}" "$@"
