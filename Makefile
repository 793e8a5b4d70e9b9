# Orvalink NMS: the two everyday commands are `make run` and `make test`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run format fuzz bench screenshot clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

run: build
	@tools/run-demo.sh $(BUILD)

bench: build
	@tools/run-bench.sh $(BUILD)

fuzz: deps
	@tools/run-fuzz.sh $(FUZZ_SECONDS)

screenshot: build
	@tools/screenshot.sh $(BUILD)

format:
	git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
