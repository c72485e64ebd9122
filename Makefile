# make run   - install what is missing, build, start Kestrava in this folder
# make test  - install what is missing, build, run every test tier
# make check - after a change: rebuild the unit and widget tests in build-test and run them
#              side by side (about a minute; `make test` once before, for the build folder)
# make build-win - cross-build the model's unit tests for Windows into build-win/
#              (`make test` runs them under Wine)
# make package - build the Debian package into build-package/
# make fuzz  - build the fuzzers and run each for FUZZ_SECONDS (600 by default;
#              KESTRAVA_FUZZ_SECONDS in the environment counts too)
.PHONY: run test check deps deps-build build build-test build-fuzz build-win fuzz bench clean package

JOBS ?= 2
FUZZ_SECONDS ?= $(or $(KESTRAVA_FUZZ_SECONDS),600)

deps:
	@scripts/install-deps.sh

# Only what compiling needs.
deps-build:
	@scripts/install-deps.sh --build

# Optimised as the package ships it, which strips debug information anyway (-g would cost a
# fifth of the compile time for nothing); build-bench keeps it, for the profilers.
build: deps
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
	    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DKESTRAVA_TESTS=OFF >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@scripts/run.sh build/app/kestrava

# From the same build as `make run`; the package test takes the package from build-package/.
package: build
	@cpack --config build/CPackConfig.cmake -B $(CURDIR)/build-package

build-test: deps-build
	@cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRAVA_SANITIZE=ON >/dev/null
	@cmake --build build-test -j $(JOBS)

check:
	@[ -f build-test/build.ninja ] || $(MAKE) --no-print-directory build-test
	@cmake --build build-test -j $(JOBS) --target unit_tests widget_tests monitor_tests platform_tests
	@scripts/check.sh

build-fuzz: deps-build
	@CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVA_GUI=OFF \
	    -DKESTRAVA_TESTS=OFF -DKESTRAVA_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS)

build-win: deps
	@JOBS=$(JOBS) scripts/windows-tests.sh build

fuzz: build-fuzz
	@KESTRAVA_FUZZ_SECONDS=$(FUZZ_SECONDS) KESTRAVA_FUZZ_BUILD=build-fuzz scripts/fuzz.sh

# On a fresh machine the test tools install in the background while the first two builds
# compile; the Windows build and the package need them (and `deps` checks they all came).
test: deps-build
	@scripts/install-deps.sh --start-rest
	@$(MAKE) --no-print-directory build-test build-fuzz
	@scripts/install-deps.sh --wait-rest
	@$(MAKE) --no-print-directory build-win package
	@scripts/test.sh

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVA_TESTS=OFF \
	    -DKESTRAVA_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@KESTRAVA_BUILD_DIR=build-bench bench/run.sh

clean:
	rm -rf build build-test build-fuzz build-bench build-package build-win build-deps
