# make run   the main window in the terminal, on the built-in demo bench
# make test  every test
BUILD ?= build
CROSS_BUILD ?= build-mingw-core
JOBS ?= 2

.PHONY: all deps configure build run test cross-check format clean windows package screenshots \
        sanitize fuzz fuzz-smoke fuzz-build soak bench vmtest

all: build

deps:
	@scripts/install-deps.sh native

configure: deps
	@cmake -S . -B $(BUILD) -DUSBISP_WERROR=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

# Builds the program alone, not the test suite, its messages kept in a log
# that is shown only when the build fails; then the window on a fresh ./run.
run: configure
	@cmake --build $(BUILD) -j$(JOBS) --target usbisp usbisp-reader >$(BUILD)/run-build.log 2>&1 || \
	    { cat $(BUILD)/run-build.log; exit 1; }
	@scripts/run-demo.sh $(BUILD)/usbisp

# The core must also build, warning-free, with the 32-bit Windows cross compiler.
cross-check:
	@scripts/install-deps.sh cross
	@cmake -S . -B $(CROSS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	    -DUSBISP_CORE_ONLY=ON -DUSBISP_WERROR=ON >/dev/null
	@cmake --build $(CROSS_BUILD) -j$(JOBS)

# Ends by saying which Windows programs the Wine tests ran.
test: build cross-check windows package sanitize fuzz-smoke vmtest
	@status=0; ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) || status=$$?; \
	    tests/wine/programs.sh describe $(WIN_BUILD) $(WIN64_BUILD); exit $$status

# The session benchmark in-process, then a whole scripted session as a process
# beside /bin/true and their ratio (bench/session_ratio.cpp). BENCH_ROUNDS
# sessions are timed. Then the production station: 16 readers at once against
# one on the bench's clock, and LINE_READERS readers in a line.
BENCH_ROUNDS ?= 300
# The production station's line: readers through 16 ports (bench/line_benchmark.cpp),
# and a line of four such stations on PostgreSQL against local files
# (bench/records_benchmark.cpp), LINE_READERS readers each.
LINE_READERS ?= 1000

bench: configure
	@cmake --build $(BUILD) -j$(JOBS) --target session_benchmark session_ratio line_benchmark \
	    records_benchmark
	@$(BUILD)/bench/session_benchmark
	@$(BUILD)/bench/session_ratio $(BENCH_ROUNDS)
	@$(BUILD)/bench/line_benchmark $(LINE_READERS)
	@$(BUILD)/bench/records_benchmark $(LINE_READERS)

# 10,000 programming runs in one process (tests/soak/soak.cpp); not in make test.
soak: configure
	@cmake --build $(BUILD) -j$(JOBS) --target soak
	@$(BUILD)/tests/soak/soak

# The unit tests, the scripted runs and the data cases once more, built with
# AddressSanitizer and UndefinedBehaviorSanitizer; any report fails them.
SAN_BUILD ?= build-sanitize
SAN_TESTS = tests/unit_tests tests/run_tests tests/cases/case_tests tests/station/station_tests
export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1

sanitize: deps
	@cmake -S . -B $(SAN_BUILD) -DUSBISP_SANITIZE=ON -DUSBISP_WERROR=ON \
	    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS) --target usbisp $(notdir $(SAN_TESTS))
	@for t in $(SAN_TESTS); do \
	    echo "sanitized: $$t"; $(SAN_BUILD)/$$t --gtest_brief=1 || exit 1; done

# The fuzzers (fuzz/): libFuzzer with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer. make fuzz runs each for FUZZ_SECONDS and prints
# its executions and findings; the suite runs each briefly.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 3

fuzz-build:
	@scripts/install-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DUSBISP_FUZZ=ON -DUSBISP_BUILD_TESTS=OFF \
	    -DUSBISP_WERROR=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers

fuzz: fuzz-build
	@fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-smoke: fuzz-build
	@fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SMOKE_SECONDS)

# usbisp --real through a real Linux kernel: Debian's kernel in QEMU (TCG)
# with a busybox initramfs, virtual readers and plain disks on dummy_hcd, and
# every session of tests/vm/sessions checked against the bench
# (scripts/vmtest.sh); one session serves its reader from the build with
# AddressSanitizer and UndefinedBehaviorSanitizer. The kernel package is
# fetched once into
# $(VM_BUILD)/kernel-cache.
VM_BUILD ?= build-vm

vmtest: configure windows
	@scripts/install-deps.sh vm $(VM_BUILD)/kernel-cache
	@cmake --build $(BUILD) -j$(JOBS) --target usbisp usbisp-reader usbisp-bot-client
	@cmake -S . -B $(SAN_BUILD) -DUSBISP_SANITIZE=ON -DUSBISP_WERROR=ON \
	    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS) --target usbisp-reader
	@VMTEST_SANITIZED_READER=$(SAN_BUILD)/frontends/reader/usbisp-reader \
	    scripts/vmtest.sh $(BUILD) $(VM_BUILD) $(WIN_BUILD)

# The Windows program: UsbIsp.exe and UsbIspBench.exe, 32-bit, in build-windows,
# with the Wine tests' driver. Installs the cross compilers and Wine when
# missing, and probes whether this machine runs 32-bit Windows programs under
# Wine (installing 32-bit Wine where it runs 32-bit code); where it does not,
# the same sources are built 64-bit too (build-windows64), for the Wine tests
# only: that build is never shipped.
WIN_BUILD ?= build-windows
WIN64_BUILD ?= build-windows64

windows:
	@scripts/install-deps.sh wine
	@scripts/wine32-probe.sh $(WIN_BUILD)/wine32-probe
	@cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	    -DUSBISP_WINDOWS=ON -DUSBISP_WERROR=ON >/dev/null
	@cmake --build $(WIN_BUILD) -j$(JOBS)
	@if [ "$$(cat $(WIN_BUILD)/wine32-probe/result)" = 64 ]; then \
	    cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	        -DUSBISP_WINDOWS=ON -DUSBISP_WERROR=ON >/dev/null && \
	    cmake --build $(WIN64_BUILD) -j$(JOBS); fi

# The zip for Windows (the 32-bit programs) and the Debian package of usbisp,
# in build-package; the suite checks both.
PACKAGE_DIR ?= build-package

package: configure windows
	@scripts/install-deps.sh package
	@cmake --build $(BUILD) -j$(JOBS) --target usbisp usbisp-reader
	@scripts/make-packages.sh $(BUILD)/usbisp $(WIN_BUILD) $(PACKAGE_DIR)

# The two pictures of the README: the main window under Wine after a
# programming run, and the terminal window.
screenshots: configure windows
	@scripts/install-deps.sh screenshots
	@cmake --build $(BUILD) -j$(JOBS) --target usbisp usbisp-reader
	@scripts/screenshots.sh $(BUILD)/usbisp $(WIN_BUILD) $(WIN64_BUILD) docs

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(CROSS_BUILD) $(WIN_BUILD) $(WIN64_BUILD) $(PACKAGE_DIR) $(SAN_BUILD) \
	    $(FUZZ_BUILD) $(VM_BUILD)
