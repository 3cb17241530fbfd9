# The two commands: `make run` and `make test`. Both install what is missing and build first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# Every configure below treats warnings as errors; a plain CMake configure does not.
CMAKE_FLAGS = -DORVANE_WERROR=ON

.PHONY: all deps configure build test run screenshot sanitize clean fuzz package

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD_DIR)

# The Debian package, orvane_<version>_<arch>.deb, into $(BUILD_DIR)/package.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB -B package >/dev/null
	@ls $(BUILD_DIR)/package/*.deb

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then under ThreadSanitizer.
# The minutes-long transfers (label "long") run in `make test` only: they add no code paths.
SANITIZE_CTEST = ctest --output-on-failure -j $(JOBS) -LE long
sanitize: deps
	@cmake -S . -B $(BUILD_DIR)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=address $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR)-asan -j $(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		$(SANITIZE_CTEST) --test-dir $(BUILD_DIR)-asan
	@cmake -S . -B $(BUILD_DIR)-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR)-tsan -j $(JOBS)
	@TSAN_OPTIONS=suppressions=$(CURDIR)/tests/tsan.supp \
		$(SANITIZE_CTEST) --test-dir $(BUILD_DIR)-tsan

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-asan $(BUILD_DIR)-tsan

# PNG pictures of the main window (start-up, mid-update) and the port chooser, from an offscreen run.
screenshot: build
	@mkdir -p docs/screenshots
	@ORVANE_SCREENSHOT_DIR=$(CURDIR)/docs/screenshots QT_QPA_PLATFORM=offscreen \
		$(BUILD_DIR)/tests/ui_tests --gtest_filter='Screenshot.*'
	@ls docs/screenshots

# libFuzzer targets (fuzz/) under clang with ASan and UBSan: build, seed, then run each for
# FUZZ_SECONDS. Fails when any of them finds something; the inputs land in $(FUZZ_DIR)/artifacts.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 30

fuzz: deps
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -G Ninja -DORVANE_FUZZ=ON -DORVANE_BUILD_TESTS=OFF \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS)
	@scripts/make-fuzz-corpus.sh $(FUZZ_DIR)
	@scripts/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# Benchmarks into bench/results.json, then a short table of the figures that matter. The end-to-end
# transfers against the paced simulator take minutes; BENCH_QUICK=1 leaves them out.
BENCH_DIR ?= build-bench
BENCH_QUICK ?=

.PHONY: bench
bench: deps
	@cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_DIR) -j $(JOBS) --target orvane_bench
	@BENCH_QUICK=$(BENCH_QUICK) $(BENCH_DIR)/bench/orvane_bench \
		--benchmark_out=bench/results.json.tmp --benchmark_out_format=json
	@mv bench/results.json.tmp bench/results.json
