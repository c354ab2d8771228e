# Set-up and everyday targets. `make run` and `make test` install what they
# need from Debian's packages when run as root on a fresh machine.
BUILD    ?= build
JOBS     ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
PACKAGES := cmake make g++ python3 googletest libgtest-dev
TEST_PACKAGES := dante-server tinyproxy sox lame flac id3v2 eyed3 ffmpeg nginx
FUZZ_PACKAGES := clang libclang-rt-14-dev
BENCH_PACKAGES := libbenchmark-dev

.PHONY: all deps test-deps configure build run test fuzz bench format format-check clean

all: build

# Installs only what is missing, and only when we may.
define apt_install
	@missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	  else echo "missing packages:$$missing (run as root to install them)"; fi; \
	fi
endef

deps:
	$(call apt_install,$(PACKAGES))

test-deps: deps
	$(call apt_install,$(TEST_PACKAGES))

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The client alone: the test suite is built by `make test`.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target tornavel
	mkdir -p run
	cd run && ../$(BUILD)/tornavel

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

fuzz:
	$(call apt_install,$(PACKAGES) $(FUZZ_PACKAGES))
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTORNAVEL_FUZZ=ON -DTORNAVEL_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
	cmake --build build-fuzz -j $(JOBS)

bench:
	$(call apt_install,$(PACKAGES) $(BENCH_PACKAGES))
	cmake -S . -B build-bench -DTORNAVEL_BENCH=ON -DTORNAVEL_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
	cmake --build build-bench -j $(JOBS)
	for b in build-bench/bench/bench_*; do [ -x "$$b" ] && "$$b"; done; true

# Every C++ file of the tree in the one format of .clang-format.
format:
	$(call apt_install,clang-format)
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

# Names each file that differs from its formatted form and fails if any does.
# One clang-format run checks many files: its start-up dwarfs the check.
format-check:
	$(call apt_install,clang-format)
	@bad=$$(git ls-files -z '*.cpp' '*.h' | xargs -0 -n 64 -P $(JOBS) \
	  clang-format --dry-run --Werror -ferror-limit=1 2>&1 | \
	  sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u); \
	if [ -z "$$bad" ]; then echo "format: every file formatted"; \
	else echo "$$bad" | sed 's/^/not formatted: /'; echo "run 'make format'"; exit 1; fi

clean:
	rm -rf $(BUILD) build-asan build-tsan build-m32 build-fuzz build-bench
