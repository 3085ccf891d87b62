#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#
#   scripts/test.sh [--sanitizers] [ctest arguments...]
#
# --sanitizers (or TANDREL_TEST_SANITIZERS=1) adds, after the normal suite, the stages CI runs:
#   asan  an AddressSanitizer + UndefinedBehaviorSanitizer build (clang, build-asan/) and every
#         test but the long end-to-end runs (every profile's defaults, the sync measurements;
#         the everyday files and every codec item are in);
#   tsan  a ThreadSanitizer build (build-tsan/) of the test programs of the threaded parts
#         (threads, component, medialib, transcode, player, app), and those tests;
#   fuzz  each libFuzzer target for TANDREL_FUZZ_SECONDS (default 60) seconds from its seeds,
#         with the random seed TANDREL_FUZZ_SEED (default fixed, so that a run explores what the
#         last one did and a new finding comes from a change; give another to explore further).
# They take two more builds and part of a third; the first failing stage ends the run with its
# status.
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

# The test programs of the labels a preset runs (its "label" filter), with the clip maker:
# configure writes each label's programs to tests/programs/LABEL.
programs_of() {  # programs_of PRESET BUILD_DIR
    local regex
    regex=$(sed -n "/\"name\": \"$1\", \"configurePreset\"/,/label/s/.*\"label\": \"\([^\"]*\)\".*/\1/p" \
        "$here/CMakePresets.json" | tail -n 1)
    echo tandrel-make-media
    for file in "$2"/tests/programs/*; do
        if [[ $(basename "$file") =~ $regex ]]; then cat "$file"; fi
    done
}

# sanitized PRESET [labels]: builds everything (with "labels": only the test programs of the
# labels the preset runs), then runs the preset's tests.
sanitized() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    if [ "${2:-}" = labels ]; then
        local targets
        mapfile -t targets < <(programs_of "$preset" "$here/build-$preset")
        cmake --build --preset "$preset" --parallel "$jobs" --target "${targets[@]}"
    else
        cmake --build --preset "$preset" --parallel "$jobs"
    fi
    ctest --preset "$preset" --parallel "$jobs"
}

fuzz() {
    local seconds=${TANDREL_FUZZ_SECONDS:-60} seed=${TANDREL_FUZZ_SEED:-20261209}
    local build=$here/build-asan
    local -A seeds=([options_fuzzer]=$here/tests/fuzz/corpus/options
                    [probe_fuzzer]=$build/tests/fuzz/seeds/media
                    [convert_fuzzer]=$build/tests/fuzz/seeds/convert)
    for target in options_fuzzer probe_fuzzer convert_fuzzer; do
        local work=$build/fuzz-work/$target
        rm -rf "$work"
        mkdir -p "$work/found"
        # A crash, leak, 30 s hang or memory blow-up ends the target with the input kept in $work.
        # Inputs that once failed (tests/fuzz/regressions/KIND) start the run with the seeds.
        local regressions=()
        [ -d "$here/tests/fuzz/regressions/${target%_fuzzer}" ] &&
            regressions=("$here/tests/fuzz/regressions/${target%_fuzzer}")
        if ! "$build/bin/$target" -max_total_time="$seconds" -seed="$seed" -timeout=30 \
            -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/" "$work/found" \
            "${seeds[$target]}" "${regressions[@]}" >"$work/log" 2>&1; then
            tail -n 60 "$work/log"
            echo "$target failed; its log and input are in $work" >&2
            return 1
        fi
        echo "$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/log" | tail -n 1)"
    done
}

start=$SECONDS
stage normal normal "$@"
if [ "$sanitizers" = 1 ]; then
    stage asan sanitized asan
    stage tsan sanitized tsan labels
    stage fuzz fuzz
fi
echo "== all stages: $((SECONDS - start)) s"
