# Every target installs what it needs first, so each works on a fresh Debian machine.
#   make run      build the `tessellon` command and back up this user's data to the default local
#                 remote (ARGS="..." runs the command with other arguments instead)
#   make test     build and run every test suite (but the many-GiB ones: make test-large)
#   make bench    Release build of the benchmarks, then run them all
#   make asan     tests under AddressSanitizer + UndefinedBehaviorSanitizer (but the simulator and
#                 the install check, which run in make test)
#   make tsan     the concurrency suites under ThreadSanitizer
#   make simulate the data-contract simulator (300 seeded histories) and the command's crash test
#   make soak     10,000 seeded histories through the data-contract simulator (SEEDS=n for more)
#   make fuzz     the remote fuzzer (clang, ASan+UBSan) for FUZZ_SECONDS (default 1800) on a copy
#                 of its corpus; prints the executions and keeps what it found in build-fuzz/
#   make install  install the command, the library, its headers, CMake and pkg-config files, the man
#                 page, shell completion and systemd user units under PREFIX (default /usr/local),
#                 below DESTDIR when given; stripped of debugging symbols unless STRIP=0
#   make format   clang-format the C++ sources
#   make format-check  fail when a C++ source differs from clang-format's layout
#   make clean    remove every build folder

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TYPE ?= RelWithDebInfo
TESSELLON_WERROR ?= OFF
# ON builds with line tables only (-g1): faster, and enough for backtraces and sanitizer reports.
LINE_TABLES ?= OFF
# ON compiles the sources in batches (a unity build): a cold build in half the time. OFF suits
# editing one file at a time.
UNITY ?= ON
ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=
STRIP ?= 1

BUILD_DIRS := build build-release build-asan build-tsan build-fuzz build-tidy
MAKEFLAGS += --no-print-directory

# $(call configure,<folder>,<cmake arguments>): runs cmake only when the folder is not configured
# yet or was configured with other arguments.
define configure
	@args='$(strip $(2))'; stamp='$(1)/.tessellon-configure'; \
	if [ ! -f '$(1)/CMakeCache.txt' ] || [ "$$(cat "$$stamp" 2>/dev/null)" != "$$args" ]; then \
	  eval cmake -S . -B '$(1)' $$args && printf '%s\n' "$$args" > "$$stamp"; \
	fi
endef

.PHONY: deps deps-bench deps-fuzz test test-large simulate run install bench asan tsan soak fuzz \
  format format-check clean

deps:
	@scripts/install-deps

deps-bench:
	@scripts/install-deps --bench

deps-fuzz:
	@scripts/install-deps --fuzz

test: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR) -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	cmake --build build -j$(JOBS)
	ctest --test-dir build --output-on-failure -j$(JOBS) -LE large

# The data-contract simulator (300 seeds) and the crash test of the command, alone.
simulate: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR) -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	cmake --build build -j$(JOBS) --target simulation_test tessellon_cli
	ctest --test-dir build --output-on-failure -j$(JOBS) -L simulation

# Tests that write many GiB (archives over 4 GiB); not part of CI.
test-large: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR) -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	cmake --build build -j$(JOBS)
	ctest --test-dir build --output-on-failure -L large

run: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR) -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	@log=$$(cmake --build build -j$(JOBS) --target tessellon_cli 2>&1) || { printf '%s\n' "$$log"; exit 1; }
	@$(if $(strip $(ARGS)),true,build/hosts/cli/tessellon init -q)  # the default remote, once
	@build/hosts/cli/tessellon $(if $(strip $(ARGS)),$(ARGS),backup)

# Builds only what is installed; the prefix is given at install time, so one build folder serves
# any PREFIX.
install: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR) -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	cmake --build build -j$(JOBS) --target tessellon_cli tessellon_static tessellon_shared
	DESTDIR='$(DESTDIR)' cmake --install build --prefix '$(PREFIX)' $(if $(filter 1,$(STRIP)),--strip)

bench: deps-bench
	$(call configure,build-release,-DCMAKE_BUILD_TYPE=Release -DTESSELLON_BUILD_TESTS=OFF -DTESSELLON_BUILD_BENCHMARKS=ON)
	cmake --build build-release -j$(JOBS)
	bench/run-all build-release

asan: deps
	$(call configure,build-asan,-DCMAKE_BUILD_TYPE=Debug "-DTESSELLON_SANITIZE=address;undefined" -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	cmake --build build-asan -j$(JOBS)
	ASAN_OPTIONS=strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1 \
	ctest --test-dir build-asan --output-on-failure -j$(JOBS) -LE 'large|simulation|install'

tsan: deps
	$(call configure,build-tsan,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSELLON_SANITIZE=thread -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	@cmake build-tsan > /dev/null  # a folder configured before the target existed learns of it
	cmake --build build-tsan -j$(JOBS) --target concurrency_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan.supp \
	ctest --test-dir build-tsan --output-on-failure -j$(JOBS) -L concurrency

# The simulator's seeds split into JOBS ranges, one process each (the library runs one operation
# at a time per process); build/soak-<n>.log holds each range's failing seeds with their actions.
SEEDS ?= 10000
soak: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR) -DTESSELLON_LINE_TABLES_ONLY=$(LINE_TABLES) -DTESSELLON_UNITY_BUILD=$(UNITY))
	cmake --build build -j$(JOBS) --target simulation_test tessellon_cli
	@per=$$(( ($(SEEDS) + $(JOBS) - 1) / $(JOBS) )); pids=""; status=0; \
	for i in $$(seq 0 $$(($(JOBS) - 1))); do \
	  TESSELLON_SIM_FIRST_SEED=$$((1 + i * per)) TESSELLON_SIM_SEEDS=$$per \
	    build/tests/simulation/simulation_test --gtest_filter='Shards/SimulationTest.*' \
	    > build/soak-$$i.log 2>&1 & pids="$$pids $$!"; \
	done; \
	for pid in $$pids; do wait $$pid || status=1; done; \
	grep -hE '^[0-9]+ seeds' build/soak-*.log; \
	if [ $$status -eq 0 ]; then echo "soak: $(SEEDS) seeds kept the data contract"; \
	else echo "soak: seeds broke the data contract, see build/soak-*.log"; fi; exit $$status

# The remote fuzzer under libFuzzer. The corpus grows in build-fuzz/remote-corpus (seeded from the
# checked-in one); a crash, hang (-timeout) or leak stops the run and leaves its input in
# build-fuzz/artifacts/. The checked-in corpus itself replays in `make test` and `make asan`.
# FUZZ_FLAGS adds libFuzzer flags: "-fork=1 -ignore_crashes=1" keeps going after a finding.
FUZZ_SECONDS ?= 1800
FUZZ_FLAGS ?=
comma := ,
FUZZ_CXXFLAGS := -fsanitize=fuzzer-no-link$(comma)address$(comma)undefined -fno-omit-frame-pointer
fuzz: deps-fuzz
	$(call configure,build-fuzz,-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSELLON_BUILD_FUZZERS=ON -DTESSELLON_BUILD_TESTS=ON "-DCMAKE_CXX_FLAGS=$(FUZZ_CXXFLAGS)")
	cmake --build build-fuzz -j$(JOBS) --target remote_fuzzer
	@mkdir -p build-fuzz/remote-corpus build-fuzz/artifacts
	@cp -n tests/fuzz/corpus/remote/* build-fuzz/remote-corpus/
	@rm -f build-fuzz/fuzz.status; touch build-fuzz/fuzz.start; \
	{ UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  build-fuzz/tests/fuzz/remote_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -rss_limit_mb=4096 -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 -print_funcs=0 \
	    -dict=tests/fuzz/remote.dict $(FUZZ_FLAGS) build-fuzz/remote-corpus; echo $$? > build-fuzz/fuzz.status; } 2>&1 | tee build-fuzz/fuzz.log; \
	status=$$(cat build-fuzz/fuzz.status); \
	runs=$$(sed -n 's/^stat::number_of_executed_units: *//p' build-fuzz/fuzz.log | tail -1); \
	speed=$$(sed -n 's/^stat::average_exec_per_sec: *//p' build-fuzz/fuzz.log | tail -1); \
	[ -n "$$runs" ] || runs=$$(sed -n 's/^#\([0-9]*\):* .*/\1/p' build-fuzz/fuzz.log | tail -1); \
	seconds=$$(sed -n 's/^INFO: exiting: .* time: \([0-9]*\)s.*/\1/p' build-fuzz/fuzz.log | tail -1); \
	[ -n "$$speed" ] || { [ -n "$$runs" ] && [ -n "$$seconds" ] && [ "$$seconds" -gt 0 ] && speed=$$((runs / seconds)); }; \
	found=$$(find build-fuzz/artifacts -type f -newer build-fuzz/fuzz.start | wc -l); \
	echo "fuzz: $${runs:-?} executions ($${speed:-?} exec/s) in up to $(FUZZ_SECONDS) s, $$found new finding(s)"; \
	if [ "$$status" != 0 ] || [ "$$found" != 0 ]; then \
	  echo "fuzz: found a failure, see build-fuzz/fuzz.log and build-fuzz/artifacts/"; exit 1; fi

format:
	git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' | xargs -r clang-format -i

format-check: deps
	@git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' | \
	  xargs -r clang-format --dry-run -Werror && echo "format-check: every C++ source is formatted"

clean:
	rm -rf $(BUILD_DIRS)
