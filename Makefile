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

# The Windows build: cross-built with mingw-w64 (cmake/mingw-w64-x86_64.toolchain.cmake) into
# $(WIN_BUILD_DIR). `make windows` writes the zip; `make test-windows` runs the unit suites, the
# command-line tool against the Linux simulator and the real dialogs, all under Wine, in a private
# prefix inside $(WIN_BUILD_DIR), on an Xvfb display the size of a workshop laptop's screen (the
# dialogs must fit it; scripts/test-windows.sh checks them once more on a 1920 x 1080 one).
WIN_BUILD_DIR ?= build-win
VERSION := $(shell grep -m1 -o 'Orvane VERSION [0-9.]*' CMakeLists.txt | cut -d' ' -f3)
WIN_ZIP ?= dist/orvane-$(VERSION)-windows-x64.zip
WIN_PACKAGES = g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
	googletest libcli11-dev nlohmann-json3-dev gettext wine wine64 xvfb xauth fonts-arphic-uming cmake ninja-build make

.PHONY: windows-deps windows-configure windows test-windows
windows-deps:
	@scripts/install-deps.sh $(WIN_PACKAGES)

windows-configure: windows-deps
	@cmake -S . -B $(WIN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.toolchain.cmake $(CMAKE_FLAGS) >/dev/null

windows: windows-configure
	@cmake --build $(WIN_BUILD_DIR) -j $(JOBS) --target orvane orvane-cli
	@scripts/package-windows.sh $(WIN_BUILD_DIR) $(WIN_ZIP)

# The simulator is the Linux orvane-cli; only that target of the Linux build is needed.
test-windows: windows-configure configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target orvane-cli
	@cmake --build $(WIN_BUILD_DIR) -j $(JOBS)
	@xvfb-run -a -s "-screen 0 1366x768x24" scripts/test-windows.sh $(WIN_BUILD_DIR) $(BUILD_DIR)

# PNG pictures of the Windows main window (port open and idle; an update under way), cut from the
# Xvfb screen while the dialog tests run under Wine: docs/screenshots/windows-*.png.
.PHONY: screenshot-windows
screenshot-windows: windows-configure configure
	@scripts/install-deps.sh imagemagick
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target orvane-cli
	@cmake --build $(WIN_BUILD_DIR) -j $(JOBS) --target main_window_flow_tests
	@scripts/windows-dialog-tests.sh $(WIN_BUILD_DIR) $(BUILD_DIR) docs/screenshots
	@ls docs/screenshots/windows-*.png
