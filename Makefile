# The README's two commands. Everything else lives in CMake and tools/scripts.
BUILD ?= build
JOBS  ?= 2

.PHONY: all deps configure build run test package clean

all: build

deps:
	@bash tools/scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@bash tools/scripts/run-with-sim.sh $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# A Debian package in $(BUILD)/packages/, then the install test on it: unpacked, validated, started.
package: build
	@bash tools/scripts/install-package-deps.sh
	rm -rf $(BUILD)/packages
	cd $(BUILD) && cpack -G DEB
	TARNOLUX_DEB="$$(ls $(abspath $(BUILD))/packages/*.deb)" QT_QPA_PLATFORM=offscreen \
	  $(BUILD)/tests/install/test_install

clean:
	rm -rf $(BUILD)
