# Every target installs what it needs first, so each works on a fresh Debian machine.
#   make run      build the `tessellon` command and back up this user's data to the default local
#                 remote (ARGS="..." runs the command with other arguments instead)
#   make test     build and run every test suite (but the many-GiB ones: make test-large)
#   make bench    Release build of the benchmarks, then run them all
#   make asan     tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   make tsan     the concurrency suites under ThreadSanitizer
#   make simulate the data-contract simulator (300 seeded histories) and the command's crash test
#   make soak     10,000 seeded histories through the data-contract simulator (SEEDS=n for more)
#   make format   clang-format the C++ sources
#   make clean    remove every build folder

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TYPE ?= RelWithDebInfo
TESSELLON_WERROR ?= OFF
ARGS ?=

BUILD_DIRS := build build-release build-asan build-tsan
MAKEFLAGS += --no-print-directory

# $(call configure,<folder>,<cmake arguments>): runs cmake only when the folder is not configured
# yet or was configured with other arguments.
define configure
	@args='$(strip $(2))'; stamp='$(1)/.tessellon-configure'; \
	if [ ! -f '$(1)/CMakeCache.txt' ] || [ "$$(cat "$$stamp" 2>/dev/null)" != "$$args" ]; then \
	  eval cmake -S . -B '$(1)' $$args && printf '%s\n' "$$args" > "$$stamp"; \
	fi
endef

.PHONY: deps deps-bench test test-large simulate run bench asan tsan soak format clean

deps:
	@scripts/install-deps

deps-bench:
	@scripts/install-deps --bench

test: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR))
	cmake --build build -j$(JOBS)
	ctest --test-dir build --output-on-failure -j$(JOBS) -LE large

# The data-contract simulator (300 seeds) and the crash test of the command, alone.
simulate: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR))
	cmake --build build -j$(JOBS) --target simulation_test tessellon_cli
	ctest --test-dir build --output-on-failure -j$(JOBS) -L simulation

# Tests that write many GiB (archives over 4 GiB); not part of CI.
test-large: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR))
	cmake --build build -j$(JOBS)
	ctest --test-dir build --output-on-failure -L large

run: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR))
	@log=$$(cmake --build build -j$(JOBS) --target tessellon_cli 2>&1) || { printf '%s\n' "$$log"; exit 1; }
	@build/hosts/cli/tessellon $(if $(strip $(ARGS)),$(ARGS),backup)

bench: deps-bench
	$(call configure,build-release,-DCMAKE_BUILD_TYPE=Release -DTESSELLON_BUILD_TESTS=OFF -DTESSELLON_BUILD_BENCHMARKS=ON)
	cmake --build build-release -j$(JOBS)
	bench/run-all build-release

asan: deps
	$(call configure,build-asan,-DCMAKE_BUILD_TYPE=Debug "-DTESSELLON_SANITIZE=address;undefined")
	cmake --build build-asan -j$(JOBS)
	ASAN_OPTIONS=strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1 \
	ctest --test-dir build-asan --output-on-failure -j$(JOBS) -LE 'large|simulation'

tsan: deps
	$(call configure,build-tsan,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSELLON_SANITIZE=thread)
	cmake --build build-tsan -j$(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan.supp \
	ctest --test-dir build-tsan --output-on-failure -j$(JOBS) -L concurrency

# The simulator's seeds split into JOBS ranges, one process each (the library runs one operation
# at a time per process); build/soak-<n>.log holds each range's failing seeds with their actions.
SEEDS ?= 10000
soak: deps
	$(call configure,build,-DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTESSELLON_WERROR=$(TESSELLON_WERROR))
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

format:
	git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' | xargs -r clang-format -i

clean:
	rm -rf $(BUILD_DIRS)
