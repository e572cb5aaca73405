#!/usr/bin/env bash
# Builds the fuzz targets of the readers (scripts/setup.sh fuzz), replays every input of their
# corpora in fuzz/corpus as a regression test, then fuzzes the targets side by side for a
# bounded time. A finding (a crash, a sanitizer report, an input that takes over 10 s or a
# process over 1 GiB) fails the script; its input is saved in build/fuzz/runs.
# Usage: scripts/fuzz.sh [--time SECONDS] [--merge] [scene|settings3ds|model3ds]...
#   --time SECONDS  how long to fuzz (default 60; 0 only replays the corpora)
#   --merge         then add to fuzz/corpus the new inputs that reach code it did not
# Without a target name, all three.
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: scripts/fuzz.sh [--time SECONDS] [--merge] [scene|settings3ds|model3ds]..."
seconds=60
merge=0
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --time) seconds=${2:?$usage}; shift 2 ;;
        --merge) merge=1; shift ;;
        scene | settings3ds | model3ds) targets+=("$1"); shift ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(scene settings3ds model3ds)

scripts/setup.sh fuzz
bin=build/fuzz/fuzz
runs=build/fuzz/runs
mkdir -p "$runs"

# Runs a target, at the lowest priority, with the limits of every run; the scene language's
# keywords help the two targets that read it.
fuzzer() {
    local target=$1
    shift
    local options=(-rss_limit_mb=1024 -timeout=10 -artifact_prefix="$runs/$target-")
    [ "$target" = model3ds ] || options+=(-dict=fuzz/scene.dict)
    nice -n 19 "$bin/${target}_fuzzer" "${options[@]}" "$@"
}

pids=()
failed() {
    kill "${pids[@]}" 2> /dev/null || true
    tail -n 60 "$1" >&2
    echo "Fuzzing found a fault: see $1" >&2
    exit 1
}

for target in "${targets[@]}"; do
    echo "Replaying fuzz/corpus/$target"
    fuzzer "$target" -runs=0 "fuzz/corpus/$target" 2> "$runs/$target.replay.log" ||
        failed "$runs/$target.replay.log"
done

if [ "$seconds" -gt 0 ]; then
    echo "Fuzzing ${targets[*]} for $seconds s"
    for target in "${targets[@]}"; do
        # New inputs go to a copy; the corpus in the repository changes only by --merge.
        rm -rf "${runs:?}/$target"
        mkdir -p "$runs/$target"
        fuzzer "$target" -max_total_time="$seconds" -print_final_stats=1 "$runs/$target" \
            "fuzz/corpus/$target" > "$runs/$target.log" 2>&1 &
        pids+=($!)
    done
    for k in "${!targets[@]}"; do
        wait "${pids[$k]}" || failed "$runs/${targets[$k]}.log"
        grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" \
            "$runs/${targets[$k]}.log" | sed "s/^stat::/  ${targets[$k]}: /"
    done
fi

if [ "$merge" = 1 ]; then
    for target in "${targets[@]}"; do
        [ -d "$runs/$target" ] || continue
        fuzzer "$target" -merge=1 "fuzz/corpus/$target" "$runs/$target" \
            2> "$runs/$target.merge.log" || failed "$runs/$target.merge.log"
        grep "MERGE-OUTER: .* new files" "$runs/$target.merge.log" | sed "s/^/  $target: /"
    done
fi
