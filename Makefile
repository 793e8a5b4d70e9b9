# Orvalink NMS: the two everyday commands are `make run` and `make test`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=

ASAN_BUILD ?= build-asan
SANITIZE := -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined

.PHONY: all deps configure build test test-asan run format fuzz fuzz-ci bench screenshot install package clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/CMakeCache.txt:
	@echo "configuring $(BUILD) (full output in $(BUILD)/configure.log)"
	@mkdir -p $(BUILD)
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >$(BUILD)/configure.log 2>&1 \
	  || { tail -n 30 $(BUILD)/configure.log; exit 1; }

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The test with a real Prometheus (label prometheus) is left to .ci/run.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300 -LE '^prometheus$$'

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer in
# a folder of its own (CI runs it after `make test`).
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORVALINK_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE)"
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600 -E check_source -LE '^prometheus$$'

# Builds only what the demo runs (no tests, no benchmarks), with a short
# progress line per program; the full output is in $(BUILD)/run-build.log.
RUN_TARGETS = orvalink-nms orvalink-sim orvalink-cli
run: configure
	@for t in $(RUN_TARGETS); do \
	  printf 'make run: building %s ... ' $$t; \
	  if cmake --build $(BUILD) -j $(JOBS) --target $$t >>$(BUILD)/run-build.log 2>&1; then \
	    echo ok; \
	  else \
	    echo FAILED; tail -n 30 $(BUILD)/run-build.log; exit 1; \
	  fi; \
	done
	@tools/run-demo.sh $(BUILD)

bench: build
	@tools/run-bench.sh $(BUILD)

fuzz: deps
	@tools/run-fuzz.sh $(FUZZ_SECONDS)

# CI: every fuzz target for 60 s under ASan and UBSan (about 8 minutes for
# the 8 targets, after their build).
fuzz-ci: deps
	@tools/run-fuzz.sh 60

screenshot: build
	@tools/screenshot.sh $(BUILD)

# `make install PREFIX=/usr` (default /usr/local; DESTDIR is honoured) and the
# Debian package in $(BUILD) (`make package`).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack

format:
	git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
