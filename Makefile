# The two commands: `make run` and `make test`. Both install what is missing and build first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test run screenshot sanitize clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD_DIR)

# The serial layer's tests under AddressSanitizer + UndefinedBehaviorSanitizer, then ThreadSanitizer.
sanitize: deps
	@cmake -S . -B $(BUILD_DIR)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=address >/dev/null
	@cmake --build $(BUILD_DIR)-asan -j $(JOBS)
	@ctest --test-dir $(BUILD_DIR)-asan --output-on-failure -j $(JOBS)
	@cmake -S . -B $(BUILD_DIR)-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=thread >/dev/null
	@cmake --build $(BUILD_DIR)-tsan -j $(JOBS)
	@ctest --test-dir $(BUILD_DIR)-tsan --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-asan $(BUILD_DIR)-tsan

# PNG pictures of the main window (start-up, mid-update) and the port chooser, from an offscreen run.
screenshot: build
	@mkdir -p docs/screenshots
	@ORVANE_SCREENSHOT_DIR=$(CURDIR)/docs/screenshots QT_QPA_PLATFORM=offscreen \
		$(BUILD_DIR)/tests/ui_tests --gtest_filter='Screenshot.*'
	@ls docs/screenshots
