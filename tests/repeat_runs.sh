#!/usr/bin/env bash
# Runs the tests again and again on a loaded machine, to flush out those that pass or
# fail by chance. Not a CI step: it takes hours of CPU.
#
#   tests/repeat_runs.sh [asan] [tsan] [e2e]     (default: all three)
#   tests/repeat_runs.sh counts [asan] [tsan] [e2e]   the counts so far, running nothing
#
# - asan: every unit test under ASan+UBSan, RUNS times (default 20);
# - tsan: every unit test under TSan, RUNS times;
# - e2e:  every end-to-end test against the plain build, E2E_RUNS times (default 10).
# The sanitizer builds are made as .ci/run makes them (build-asan, build-tsan, clang),
# the plain one as `make test` does (build); each run is a ctest pass of the same tests
# as in CI, each test in a process of its own. Each batch is pinned to two cores of its
# own (ASAN_CORES, TSAN_CORES, E2E_CORES; default 0,1 / 2,3 / 4,5) with ctest -j 2, and
# the batches run at once while a build of the tree from scratch, without ccache, loads
# LOAD_CORES (default 6,7) again and again; LOAD=0 leaves it out.
#
# Per program it prints the runs (passes that ran its tests) and the failures (passes
# in which one of its tests failed), then each test that failed, and how often. The
# log of every failing pass is kept: OUT/<batch>/run-<n>.log (OUT default build-repeat).
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-20}
E2E_RUNS=${E2E_RUNS:-10}
ASAN_CORES=${ASAN_CORES:-0,1}
TSAN_CORES=${TSAN_CORES:-2,3}
E2E_CORES=${E2E_CORES:-4,5}
LOAD_CORES=${LOAD_CORES:-6,7}
LOAD=${LOAD:-1}
OUT=$(mkdir -p "${OUT:-build-repeat}" && cd "${OUT:-build-repeat}" && pwd)
TOP=$PWD
batches=("$@")
[ ${#batches[@]} -gt 0 ] || batches=(asan tsan e2e)
# shellcheck source=.ci/sanitizer_builds.sh
. .ci/sanitizer_builds.sh

pinned() {  # cores command...: the command on those cores only
  local cores=$1
  shift
  taskset -c "$cores" "$@"
}

build() {  # batch: configures and builds what the batch runs
  case $1 in
  asan) configure_asan build-asan && pinned "$ASAN_CORES" cmake --build build-asan -j 2 --target unit_tests ;;
  tsan) configure_tsan build-tsan && pinned "$TSAN_CORES" cmake --build build-tsan -j 2 --target unit_tests ;;
  e2e) cmake -S . -B build >/dev/null && pinned "$E2E_CORES" cmake --build build -j 2 ;;
  esac
}

# A pass of ctest in the batch's build; its JUnit report feeds the counts.
ctest_pass() {  # batch n [more ctest arguments]
  local dir cores
  local -a args env
  case $1 in
  asan) dir=build-asan cores=$ASAN_CORES args=(-LE "$ASAN_LEAVE_OUT") env=(ASAN_OPTIONS="$ASAN_RUN_OPTIONS") ;;
  tsan) dir=build-tsan cores=$TSAN_CORES args=(-LE "$TSAN_LEAVE_OUT") env=(TSAN_OPTIONS="$TSAN_RUN_OPTIONS") ;;
  e2e) dir=build cores=$E2E_CORES args=(-L '^e2e$') env=() ;;
  esac
  (cd "$TOP/$dir" && env "${env[@]}" taskset -c "$cores" \
    ctest -j 2 --output-on-failure "${args[@]}" --output-junit "$OUT/$1/run-$2.xml" "${@:3}")
}

# Each test's outcome of a pass, one "status name" a line: the JUnit report holds every
# test's output, megabytes a pass. A test that skipped itself is "skipped"; one not run
# because a fixture it needs failed stays "notrun".
outcomes() {  # report
  python3 -c 'import sys, xml.etree.ElementTree as ET
for c in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    skip = c.find("skipped")
    own = skip is not None and skip.get("message") == "SKIP_REGULAR_EXPRESSION_MATCHED"
    print("skipped" if own else c.get("status"), c.get("name"))' "$1"
}

batch() {  # batch runs
  local name=$1 runs=$2 n
  rm -rf "${OUT:?}/$name"
  mkdir -p "$OUT/$name"
  ctest_pass "$name" 0 --show-only=json-v1 >"$OUT/$name/tests.json"
  rm -f "$OUT/$name/run-0.xml"
  for ((n = 1; n <= runs; n++)); do
    if ctest_pass "$name" "$n" >"$OUT/$name/run-$n.running" 2>&1; then
      rm -f "$OUT/$name/run-$n.running"
    else
      mv "$OUT/$name/run-$n.running" "$OUT/$name/run-$n.log"
    fi
    outcomes "$OUT/$name/run-$n.xml" >"$OUT/$name/run-$n.txt" && rm -f "$OUT/$name/run-$n.xml"
    echo "$name: run $n of $runs done, $(find "$OUT/$name" -name '*.log' | wc -l) failing so far"
  done
}

# Builds the tree from scratch on LOAD_CORES until killed.
load_machine() {
  while :; do
    rm -rf "$OUT/load-build"
    cmake -S . -B "$OUT/load-build" >/dev/null
    CCACHE_DISABLE=1 taskset -c "$LOAD_CORES" cmake --build "$OUT/load-build" -j 2 >/dev/null 2>&1 || true
  done
}

# The counts, per program, of the passes done so far.
counts() {  # batch...
  python3 - "$OUT" "$@" <<'PY'
import collections, glob, json, os, re, sys

out, batches = sys.argv[1], sys.argv[2:]
for name in batches:
    # A gtest test's program is its layer's test program; an e2e test or a fixture step
    # is a program of its own.
    with open(os.path.join(out, name, "tests.json")) as f:
        program_of = {}
        for t in json.load(f)["tests"]:
            command = os.path.basename((t.get("command") or [""])[0])
            program_of[t["name"]] = command if command.startswith("test_") else t["name"]
    passes = sorted(glob.glob(os.path.join(out, name, "run-*.txt")),
                    key=lambda p: int(re.search(r"run-(\d+)", p).group(1)))
    runs, failures, failed_tests, not_run = (collections.Counter() for _ in range(4))
    for path in passes:
        seen, failed = set(), set()
        with open(path) as f:
            for line in f:
                status, test = line.rstrip("\n").split(" ", 1)
                program = program_of.get(test, test)
                seen.add(program)
                # "notrun": a fixture it needs failed, which fails the pass as well.
                if status not in ("run", "skipped", "disabled"):
                    failed.add(program)
                    (not_run if status == "notrun" else failed_tests)[test] += 1
        runs.update(seen)
        failures.update(failed)
    print("== %s: %d passes" % (name, len(passes)))
    print("%-40s %6s %9s" % ("program", "runs", "failures"))
    for program in sorted(runs):
        print("%-40s %6d %9d" % (program, runs[program], failures[program]))
    for test, n in sorted(failed_tests.items()):
        print("   failed %d time(s): %s" % (n, test))
    if not_run:
        print("   not run for a failed fixture: %d test(s), %d time(s) in all"
              % (len(not_run), sum(not_run.values())))
    logs = sorted(glob.glob(os.path.join(out, name, "run-*.log")))
    if logs:
        print("   logs of the failing passes: %s" % " ".join(logs))
PY
}

if [ "${batches[0]}" = counts ]; then
  batches=("${batches[@]:1}")
  [ ${#batches[@]} -gt 0 ] || batches=(asan tsan e2e)
  for b in "${batches[@]}"; do
    if [ -f "$OUT/$b/tests.json" ]; then counts "$b"; fi
  done
  exit 0
fi

# The builds at once, each on its batch's cores.
pids=()
for b in "${batches[@]}"; do
  case $b in asan | tsan | e2e) ;; *) echo "unknown batch: $b (asan, tsan or e2e)" >&2; exit 2 ;; esac
  echo "== building for $b"
  build "$b" >"$OUT/build-$b.log" 2>&1 &
  pids+=($!)
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || { echo "the build for ${batches[$i]} failed: $OUT/build-${batches[$i]}.log" >&2; exit 1; }
done

load_pid=""
stop_load() {
  # The loop runs in a process group of its own: this ends it and its build, nothing else.
  if [ -n "$load_pid" ]; then
    kill -- "-$load_pid" 2>/dev/null || true
    wait "$load_pid" 2>/dev/null || true
  fi
  rm -rf "$OUT/load-build"
}
trap stop_load EXIT
if [ "$LOAD" = 1 ]; then
  export -f load_machine
  export OUT LOAD_CORES
  setsid bash -c load_machine &
  load_pid=$!
fi

pids=()
for b in "${batches[@]}"; do
  if [ "$b" = e2e ]; then batch e2e "$E2E_RUNS" & else batch "$b" "$RUNS" & fi
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p"; done
stop_load
trap - EXIT

counts "${batches[@]}"
