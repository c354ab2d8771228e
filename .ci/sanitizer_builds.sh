# The sanitizer builds as the CI run makes them, and what their tests leave out and
# need: sourced by .ci/run and by tests/repeat_runs.sh, so that a repeat run tests
# exactly what CI tests. Call from the top of the tree.
#
# The builds take -O1 with line tables only (-g1): enough for every report's stack,
# and a third less compile time than -g. clang compiles the instrumented code in two
# thirds of g++'s time. The ASan+UBSan build also makes the fuzz targets: the layers
# carry the fuzzers' coverage counters, which cost the tests little.

# Left out by label: under both, the end-to-end tests (.ci/run builds the client with
# ASan+UBSan for one of them only, which it names); under TSan also the tests that exhaust memory on purpose (TSan's
# shadow memory and allocator cannot take an address-space limit or an impossible
# allocation).
ASAN_LEAVE_OUT='^e2e$'
TSAN_LEAVE_OUT='^(e2e|exhausts-memory)$'
ASAN_RUN_OPTIONS='detect_leaks=1'
TSAN_RUN_OPTIONS='halt_on_error=1 second_deadlock_stack=1'

configure_asan() {
  CC=clang CXX=clang++ cmake -G Ninja -S . -B "$1" -DCMAKE_BUILD_TYPE=None -DTORNAVEL_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-O1 -g1 -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" >/dev/null
}

configure_tsan() {
  CC=clang CXX=clang++ cmake -G Ninja -S . -B "$1" -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="-O1 -g1 -fsanitize=thread -fno-omit-frame-pointer" >/dev/null
}
