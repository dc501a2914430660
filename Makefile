# Two commands on a fresh machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup build run test gui bench clean

all: build

setup:
	@sh scripts/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	@sh scripts/run_examples.sh $(BUILD)

gui: build
	$(BUILD)/src/app/codekiln

bench: build
	@sh bench/run_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
