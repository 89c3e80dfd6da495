# Front door over CMake. `make demo` and `make test` are the two commands of the README.
JOBS ?= $(shell nproc)
RELEASE_DIR ?= build/release
TEST_DIR ?= build/test

FUZZ_SECONDS ?= 60
FUZZ_DIR ?= build/fuzz
MEMCHECK_DIR ?= build/memcheck

.PHONY: all bootstrap demo test build-release build-test bench fuzz memcheck clean

all: build-release

bootstrap:
	@./scripts/bootstrap

build-release: bootstrap
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DDOMKW_TESTS=OFF >/dev/null
	cmake --build $(RELEASE_DIR) -j$(JOBS)

# A short tour with the command-line tool on the bundled sample project.
demo: build-release
	@./scripts/demo-tour $(RELEASE_DIR)/tools/domkw

build-test: bootstrap
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DDOMKW_SANITIZE=ON -DDOMKW_TESTS=ON >/dev/null
	cmake --build $(TEST_DIR) -j$(JOBS)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build-test
	cd $(TEST_DIR) && ctest --output-on-failure -j$(JOBS)

bench: bootstrap
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DDOMKW_TESTS=OFF -DDOMKW_BENCH=ON >/dev/null
	cmake --build build/bench -j$(JOBS)
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

# Each libFuzzer target for FUZZ_SECONDS, from seeds made of the samples and the test data. Crashes are
# written to $(FUZZ_DIR)/crashes.
fuzz:
	@DOMKW_EXTRA_PACKAGES="clang libclang-rt-14-dev" ./scripts/bootstrap
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDOMKW_TESTS=OFF -DDOMKW_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_DIR) -j$(JOBS)
	./scripts/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS)

# The suite under Valgrind's memcheck, on a build without the sanitizers.
memcheck:
	@DOMKW_EXTRA_PACKAGES="valgrind" ./scripts/bootstrap
	cmake -S . -B $(MEMCHECK_DIR) -DCMAKE_BUILD_TYPE=Debug -DDOMKW_TESTS=ON >/dev/null
	cmake --build $(MEMCHECK_DIR) -j$(JOBS)
	cd $(MEMCHECK_DIR) && ctest --output-on-failure -T memcheck --overwrite MemoryCheckCommandOptions="--leak-check=full --errors-for-leak-kinds=definite --error-exitcode=1 --suppressions=$(CURDIR)/tests/valgrind.supp"

clean:
	rm -rf build
