#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#
#   scripts/test.sh [--sanitizers] [ctest arguments...]
#
# --sanitizers (or TANDREL_TEST_SANITIZERS=1) adds, after the normal suite, the stages CI runs:
#   asan  an AddressSanitizer + UndefinedBehaviorSanitizer build (clang, build-asan/) and every
#         test but the two long end-to-end runs;
#   tsan  a ThreadSanitizer build (build-tsan/) and the threaded parts (threads, component,
#         medialib, transcode, player);
#   fuzz  each libFuzzer target for TANDREL_FUZZ_SECONDS (default 60) seconds from its seeds.
# They take three more builds; the first failing stage ends the run with its status.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sanitizers=${TANDREL_TEST_SANITIZERS:-0}
if [ "${1:-}" = "--sanitizers" ]; then
    sanitizers=1
    shift
fi
jobs=$(nproc)

stage() {  # stage NAME COMMAND...: runs and times one stage
    local name=$1 start=$SECONDS
    shift
    echo "== stage $name"
    "$@"
    echo "== stage $name: $((SECONDS - start)) s"
}

normal() {
    "$here/scripts/setup.sh" "$here/build"
    ctest --test-dir "$here/build" --output-on-failure --parallel "$jobs" --timeout 900 "$@"
}

sanitized() {  # sanitized PRESET
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" --parallel "$jobs"
    ctest --preset "$1" --parallel "$jobs"
}

fuzz() {
    local seconds=${TANDREL_FUZZ_SECONDS:-60} build=$here/build-asan
    local -A seeds=([options_fuzzer]=$here/tests/fuzz/corpus/options
                    [probe_fuzzer]=$build/tests/fuzz/seeds/media
                    [convert_fuzzer]=$build/tests/fuzz/seeds/convert)
    for target in options_fuzzer probe_fuzzer convert_fuzzer; do
        local work=$build/fuzz-work/$target
        rm -rf "$work"
        mkdir -p "$work/found"
        # A crash, leak, 30 s hang or memory blow-up ends the target with the input kept in $work.
        if ! "$build/bin/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
            -print_final_stats=1 -artifact_prefix="$work/" "$work/found" "${seeds[$target]}" \
            >"$work/log" 2>&1; then
            tail -n 60 "$work/log"
            echo "$target failed; its log and input are in $work" >&2
            return 1
        fi
        echo "$target: $(grep -E '^#[0-9]+ +DONE' "$work/log" | tail -n 1)"
    done
}

start=$SECONDS
stage normal normal "$@"
if [ "$sanitizers" = 1 ]; then
    stage asan sanitized asan
    stage tsan sanitized tsan
    stage fuzz fuzz
fi
echo "== all stages: $((SECONDS - start)) s"
