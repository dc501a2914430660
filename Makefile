# Two commands on a fresh machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup build run test gui bench clean package check-package

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

# The Debian package, $(BUILD)/codekiln_<version>_<arch>.deb, and its check:
# unpacked, started, validated, lint-checked (packaging/check_package.sh).
package: build
	cmake --build $(BUILD) --target package

check-package: package
	@sh packaging/check_package.sh $(BUILD)

# Reliability: the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer in its own build folder, and the engine's fuzz
# target for FUZZ_SECONDS. Neither touches $(BUILD).
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer

.PHONY: test-asan fuzz

test-asan: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCODEKILN_BUILD_BENCH=OFF \
	  -DCODEKILN_PACKAGING=OFF \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE)" -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$(SANITIZE)"
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

fuzz: setup
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	sh fuzz/run_fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)
