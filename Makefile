# Front door over CMake. `make demo` and `make test` are the two commands of the README.
JOBS ?= $(shell nproc)
RELEASE_DIR ?= build/release
TEST_DIR ?= build/test

.PHONY: all bootstrap demo test build-release build-test bench clean

all: build-release

bootstrap:
	@./scripts/bootstrap

build-release: bootstrap
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DDOMKW_TESTS=OFF >/dev/null
	cmake --build $(RELEASE_DIR) -j$(JOBS)

# Loads the bundled sample project into the reference host and shows it through the library.
demo: build-release
	$(RELEASE_DIR)/tools/domkw_tree samples/project.xml

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

clean:
	rm -rf build
