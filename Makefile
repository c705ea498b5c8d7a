# The two commands of the README, and a few more for developers. Each one first installs
# the Debian packages that are missing (tools/install_deps.sh).
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: run build install package package-windows test lint test-windows bench coverage demo fuzz deps deps-coverage \
        deps-fuzz deps-package deps-test clean

run: build
	./build/statekeeper

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATEKEEPER_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target statekeeper

# The optimised program, its manual page, README and LICENSE under $(DESTDIR)$(PREFIX):
# make install [PREFIX=/usr/local] [DESTDIR=/staging]
PREFIX ?= /usr/local
install: build
	cmake --build build -j $(JOBS) --target statekeeper manual
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# A Debian package of the same, build/statekeeper_VERSION-1_ARCH.deb, to install with
# dpkg -i; it carries the licence as Debian's copyright file, with a Debian changelog.
package: build deps-package
	cmake --build build -j $(JOBS) --target statekeeper manual debian_docs
	cd build && cpack -G DEB

# The Windows program cross-built with mingw-w64, in build-win/statekeeper-VERSION-win64.zip
# with README.md and LICENSE.
package-windows:
	@./tools/install_deps.sh --with-windows
	cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build-win -j $(JOBS) --target statekeeper
	cd build-win && cpack -G ZIP

# The habits (format, whitespace, clang-tidy) first, then a debug build under
# AddressSanitizer and UndefinedBehaviorSanitizer with every test, a short run of every fuzz
# target, then the optimised program with warnings as errors, and (as root) the Debian
# package and make install checked as a person would use them.
test: deps-test
	cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSTATEKEEPER_SANITIZE=ON \
	  -DSTATEKEEPER_DEV_WARNINGS=ON $(CMAKE_FLAGS)
	JOBS=$(JOBS) ./tools/lint.sh build-test
	cmake --build build-test -j $(JOBS)
	cd build-test && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure --timeout 300 -j $(JOBS)
	./tools/fuzz.sh 20
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATEKEEPER_TESTS=OFF \
	  -DSTATEKEEPER_DEV_WARNINGS=ON $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target statekeeper
	./tools/check_package.sh

# Only the habits: format, whitespace and clang-tidy (on the compile database of build-test).
lint: deps-test
	cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSTATEKEEPER_SANITIZE=ON \
	  -DSTATEKEEPER_DEV_WARNINGS=ON $(CMAKE_FLAGS)
	JOBS=$(JOBS) ./tools/lint.sh build-test

# The Windows program cross-built with mingw-w64, its tests run under wine, and its zip
# unpacked and run in a fresh wine prefix.
test-windows:
	JOBS=$(JOBS) ./tools/test_windows.sh build-win

# Line, function and branch coverage of the program's own code (src/ without tests and
# without the Windows-only files) over every ctest test: gcovr's summary on the terminal,
# the whole report in build-coverage/coverage/index.html. Fails below 95 % of the lines or
# 85 % of the branches.
COVERAGE_FILTER = --root . --object-directory build-coverage --filter 'src/' \
  --exclude '.*_test\.(cc|h)$$' --exclude '.*_windows.*' --exclude 'src/console/console_fixture\.h'
coverage: deps-coverage
	cmake -S . -B build-coverage -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSTATEKEEPER_COVERAGE=ON \
	  $(CMAKE_FLAGS)
	cmake --build build-coverage -j $(JOBS)
	find build-coverage -name '*.gcda' -delete
	cd build-coverage && ctest --output-on-failure --timeout 300 -j $(JOBS)
	mkdir -p build-coverage/coverage
	gcovr $(COVERAGE_FILTER) --print-summary --html-details build-coverage/coverage/index.html \
	  --fail-under-line 95 --fail-under-branch 85

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATEKEEPER_TESTS=OFF \
	  -DSTATEKEEPER_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build-bench -j $(JOBS)
	./bench/run.sh build-bench

# The program against the test logbook service on 127.0.0.1, in a throwaway folder.
demo: build
	./tools/demo.sh build/statekeeper

# Longer fuzzing: make fuzz FUZZ_SECONDS=600
FUZZ_SECONDS ?= 300
fuzz: deps-fuzz
	./tools/fuzz.sh $(FUZZ_SECONDS)

deps:
	@./tools/install_deps.sh

deps-fuzz:
	@./tools/install_deps.sh --with-fuzz

deps-package:
	@./tools/install_deps.sh --with-package

deps-coverage:
	@./tools/install_deps.sh --with-coverage

deps-test:
	@./tools/install_deps.sh --with-fuzz --with-lint --with-package

clean:
	rm -rf build build-test build-bench build-fuzz build-win build-coverage
