# The README's two commands. Everything else lives in CMake and tools/scripts.
BUILD ?= build
JOBS  ?= 2

.PHONY: all deps configure build run test clean

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

clean:
	rm -rf $(BUILD)
