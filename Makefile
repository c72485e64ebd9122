# make run   - install what is missing, build, start Kestrava in this folder
# make test  - install what is missing, build, run every test tier
.PHONY: run test deps build build-test fuzz bench clean

JOBS ?= 2

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVA_TESTS=OFF >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@scripts/run.sh build/app/kestrava

build-test: deps
	@cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRAVA_SANITIZE=ON >/dev/null
	@cmake --build build-test -j $(JOBS)

fuzz: deps
	@CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVA_GUI=OFF \
	    -DKESTRAVA_TESTS=OFF -DKESTRAVA_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS)

test: build-test fuzz
	@scripts/test.sh

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVA_TESTS=OFF \
	    -DKESTRAVA_BENCH=ON >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@KESTRAVA_BUILD_DIR=build-bench bench/run.sh

clean:
	rm -rf build build-test build-fuzz build-bench
