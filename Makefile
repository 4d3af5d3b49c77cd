# The README's two commands. Everything else lives in CMake and tools/scripts.
BUILD ?= build
JOBS  ?= 2

.PHONY: all deps configure build run test package clean fuzz test-asan longrun bench coverage screenshots \
	format format-check

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
	@# Packaging tools for CPack's dependency search and the validators the package test runs.
	@bash tools/scripts/install-deps.sh dpkg-dev file desktop-file-utils appstream
	rm -rf $(BUILD)/packages
	cd $(BUILD) && cpack -G DEB
	TARNOLUX_DEB="$$(ls $(abspath $(BUILD))/packages/*.deb)" QT_QPA_PLATFORM=offscreen \
	  $(BUILD)/tests/install/test_install

# The fuzz harnesses with libFuzzer (clang), AddressSanitizer and UndefinedBehaviorSanitizer, each for
# FUZZ_SECONDS; fuzz/run.sh runs them for longer.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	@# clang and its runtime hold libFuzzer; make test and make test-asan need neither.
	@bash tools/scripts/install-deps.sh clang libclang-rt-14-dev
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DTARNOLUX_SANITIZE=ON -DTARNOLUX_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_receive fuzz_tablefile fuzz_settings fuzz_numbers fuzz_journal fuzz_platefile
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Every test built with AddressSanitizer and UndefinedBehaviorSanitizer, leaks included.
ASAN_BUILD ?= build-asan
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNOLUX_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)

# The soak runs, about eight minutes: 5,000,000 text messages and 1,000,000 records through the receive
# path, then ten seconds of line noise in each link mode; memory must stay flat but for the measurement
# log, which stops growing at its cap.
longrun: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/soak/tarnolux-longrun
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/soak/tarnolux-noise

# The benchmarks against their targets, in Release mode: Google Benchmark's report, then one table.
bench: configure
	cmake --build $(BUILD) -j$(JOBS) --target tarnolux tarnolux-bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/tarnolux-bench

# Line and branch coverage of src/ by the whole suite: a Debug build with --coverage in its own folder.
COV_BUILD ?= build-coverage
coverage: deps
	@bash tools/scripts/install-deps.sh gcovr
	cmake -S . -B $(COV_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage -O0" \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage
	cmake --build $(COV_BUILD) -j$(JOBS)
	find $(COV_BUILD) -name '*.gcda' -delete
	bash tools/scripts/prune-coverage.sh $(COV_BUILD)
	cd $(COV_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)
	gcovr -r . $(COV_BUILD) -f 'src/' -s | tail -n 4
	gcovr -r . $(COV_BUILD) -f 'src/' -b --exclude-unreachable-branches \
	  --exclude-throw-branches -s | tail -n 4

# The README's pictures of the main window in both layouts, into $(BUILD)/screenshots/.
screenshots: configure
	cmake --build $(BUILD) -j$(JOBS) --target tarnolux-screenshots
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/screenshots/tarnolux-screenshots $(BUILD)/screenshots

# clang-format over every source file, and the check CI runs: it lists the files that are not formatted.
CLANG_FORMAT ?= clang-format
FORMAT_FILES = $(shell find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | sort)
format: deps
	$(CLANG_FORMAT) -i $(FORMAT_FILES)

format-check: deps
	@out=$$($(CLANG_FORMAT) --dry-run -Werror $(FORMAT_FILES) 2>&1) && exit 0; \
	files=$$(echo "$$out" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
	  | sort -u); \
	echo "$${files:-$$out}"; echo "Not formatted: the files above (make format formats them)."; exit 1

clean:
	rm -rf $(BUILD)
