# Top-level entry points. `make demo` and `make test` work on a fresh machine.
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
ASAN_DIR := build/asan
CMAKE_FLAGS ?=

.PHONY: package setup build build-asan demo test unit e2e bench bench-smoke fuzz format format-check clean

setup:
	@scripts/setup

build: setup
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(RELEASE_DIR) -j $(JOBS)

build-asan: setup
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DTAMSEL_SANITIZE=ON -DTAMSEL_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(ASAN_DIR) -j $(JOBS)

# Every test, under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build-asan
	cd $(ASAN_DIR) && ctest -j $(JOBS) --output-on-failure --timeout 600

unit: build-asan
	cd $(ASAN_DIR) && ctest -j $(JOBS) -L unit --output-on-failure

e2e: build-asan
	cd $(ASAN_DIR) && ctest -j $(JOBS) -L e2e --output-on-failure

# Builds a demo network, runs the main job on it, then serves the web application on it
# (WEB=0 skips the web application).
WEB ?= 1
demo: build
	WEB=$(WEB) scripts/demo $(RELEASE_DIR)

bench: build
	scripts/bench $(RELEASE_DIR)

# Every benchmark program once at a tiny size, under the sanitizers: a benchmark that no
# longer builds or runs shows up in CI. Nothing is timed.
bench-smoke: build-asan
	scripts/bench --smoke $(ASAN_DIR)

fuzz: setup
	scripts/fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf build

# The Debian package of the release build (build/release/tamsel_*.deb).
package: build
	cd $(RELEASE_DIR) && cpack -G DEB
