# The two commands of the README, and a few more for developers. Each one first installs
# the Debian packages that are missing (tools/install_deps.sh).
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: run build test bench deps clean

run: build
	./build/statekeeper

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATEKEEPER_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target statekeeper

# Debug build under AddressSanitizer and UndefinedBehaviorSanitizer with every test, then
# the optimised program with warnings as errors.
test: deps
	cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSTATEKEEPER_SANITIZE=ON \
	  -DSTATEKEEPER_DEV_WARNINGS=ON $(CMAKE_FLAGS)
	cmake --build build-test -j $(JOBS)
	cd build-test && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure --timeout 300 -j $(JOBS)
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATEKEEPER_TESTS=OFF \
	  -DSTATEKEEPER_DEV_WARNINGS=ON $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target statekeeper

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATEKEEPER_TESTS=OFF \
	  -DSTATEKEEPER_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build-bench -j $(JOBS)
	./bench/run.sh build-bench

deps:
	@./tools/install_deps.sh

clean:
	rm -rf build build-test build-bench
