# The two commands of the README: `make run` and `make test`.
BUILD_DIR := build
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-all test-sanitizers package package-debug bench lint clean fuzz \
	deps-arm64 test-arm64 package-arm64

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD_DIR)/build.ninja || cmake --preset default $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

# One compile per core: more only makes them fight over the caches.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PROGRAMS := rw7300-speedtable rw7300-sim

# Runs the tool against the controller simulator: no hardware needed.
run: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target $(PROGRAMS)
	scripts/run-with-simulator $(BUILD_DIR)

# Every test once. The checks of the optimised program run in build/: the
# one upload at the controller's real pace (the headless make run), the short
# paced action of the real-pace test, and the install and package checks.
# Every other test runs in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), where any report fails the
# program that made it (tst_actions still runs the alarm on the real counter
# there). test-all also runs those in build/, at the cost of a minute more.
# Most tests spend their time waiting on a child process or a line, so
# several run at once; fewer beside the real pace.
END_TO_END := ^(run_headless|tst_realpace|install_tree|debian_package)$$
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
test: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target $(PROGRAMS) tst_realpace
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j3 -R '$(END_TO_END)'
	$(MAKE) --no-print-directory test-sanitizers

test-all: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j3
	$(MAKE) --no-print-directory test-sanitizers

test-sanitizers: deps
	@test -f build-asan/build.ninja || cmake --preset asan
	$(SANITIZER_ENV) cmake --build build-asan -j$(JOBS)
	$(SANITIZER_ENV) ctest --test-dir build-asan --output-on-failure -j4 -E '$(END_TO_END)'

fuzz:
	scripts/fuzz

# The package of a release build of the two programs (build-package/, with
# the usual hardening flags), stripped as they are packaged; package-debug
# packages the optimised build in build/ with its debug information.
PACKAGE_DIR := build-package
PACKAGE_FLAGS := -DRW7300_BENCH=OFF \
	-DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
	-DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now"
package: deps
	@test -f $(PACKAGE_DIR)/build.ninja || cmake --preset release -B $(PACKAGE_DIR) $(PACKAGE_FLAGS)
	cmake --build $(PACKAGE_DIR) -j$(JOBS) --target $(PROGRAMS)
	cd $(PACKAGE_DIR) && cpack -G DEB
	@ls $(PACKAGE_DIR)/*.deb

package-debug: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target $(PROGRAMS)
	cd $(BUILD_DIR) && cpack -G DEB -D CPACK_STRIP_FILES=OFF
	@ls $(BUILD_DIR)/*.deb

# arm64 (a Raspberry Pi 4 or 5 with a 64-bit system), cross-built here with
# Debian's multi-arch Qt (scripts/install-deps --arm64) and run under
# qemu-aarch64. test-arm64 runs every test but the end-to-end ones: the
# real pace measured under an emulator says nothing of the board's, and the
# install and package checks are of this machine's package (package-arm64
# checks its own). Each emulated test keeps a processor busy: two at once.
ARM64_DIR := build-arm64
ARM64_PACKAGE_DIR := build-arm64-package
deps-arm64:
	@scripts/install-deps --arm64

test-arm64: deps-arm64
	@test -f $(ARM64_DIR)/build.ninja || cmake --preset arm64
	cmake --build $(ARM64_DIR) -j$(JOBS)
	ctest --test-dir $(ARM64_DIR) --output-on-failure -j2 -E '$(END_TO_END)'

# The arm64 package, built as make package builds its own, then checked as
# the amd64 one is: lintian clean, stripped, its manual pages, and its
# architecture in dpkg-deb -f and file.
package-arm64: deps-arm64
	@test -f $(ARM64_PACKAGE_DIR)/build.ninja || cmake --preset arm64 -B $(ARM64_PACKAGE_DIR) \
		-DCMAKE_BUILD_TYPE=Release $(PACKAGE_FLAGS)
	cmake --build $(ARM64_PACKAGE_DIR) -j$(JOBS) --target $(PROGRAMS)
	cd $(ARM64_PACKAGE_DIR) && cpack -G DEB
	RW7300_EMULATOR=qemu-aarch64 EXTRA_PROGRAMS=rw7300-sim \
		tests/install/check-package.sh $(ARM64_PACKAGE_DIR)
	@ls $(ARM64_PACKAGE_DIR)/*.deb

# Start-up, Calculate, the real-pace upload and the command line, measured
# in a release build (BENCH_JSON=FILE also writes the table as JSON).
bench: deps
	scripts/bench

# clang-tidy with the checks of .clang-tidy on every source file; any
# finding fails.
lint: build
	scripts/lint $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
