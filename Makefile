# The two commands of the README: `make run` and `make test`.
BUILD_DIR := build
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD_DIR)/build.ninja || cmake --preset default $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR)

# Runs the tool against the controller simulator: no hardware needed.
run: build
	scripts/run-with-simulator $(BUILD_DIR)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

package: build
	cd $(BUILD_DIR) && cpack -G DEB
	@ls $(BUILD_DIR)/*.deb

clean:
	rm -rf $(BUILD_DIR)
