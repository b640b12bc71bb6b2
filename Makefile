# Front door.  `make demo` and `make test` work on a fresh Debian 12 machine
# as root: both first install whatever packages are missing.
SHELL   := /bin/bash
JOBS    ?= $(shell nproc)
PREFIX  ?= /usr
NATIVE  := build/native
WINDOWS := build/windows
ASAN    := build/asan
FUZZ    := build/fuzz
CTEST_FLAGS ?= --output-on-failure

.PHONY: all deps build native windows asan fuzz test test-native test-windows \
        test-asan test-fuzz test-long fuzz-long bench demo install clean

all: build

deps:
	@scripts/install-deps

build: deps native windows

native:
	cmake -S . -B $(NATIVE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	cmake --build $(NATIVE) -j$(JOBS)

windows:
	cmake -S . -B $(WINDOWS) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake >/dev/null
	cmake --build $(WINDOWS) -j$(JOBS)

asan:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DCORVELLA_SANITIZE=ON >/dev/null
	cmake --build $(ASAN) -j$(JOBS)

fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug -DCORVELLA_SANITIZE=ON -DCORVELLA_FUZZ=ON >/dev/null
	cmake --build $(FUZZ) -j$(JOBS)

# Native tests (cores, tools, plug-ins in the real GIMP), the sanitizer and
# fuzz trees, then the Windows tests under wine.  The Windows tests run one
# at a time: they share one wine desktop and its foreground window.
test: deps
	$(MAKE) --no-print-directory native asan fuzz windows
	status=0; \
	ctest --test-dir $(ASAN) $(CTEST_FLAGS) -j$(JOBS) || status=1; \
	ctest --test-dir $(FUZZ) $(CTEST_FLAGS) -j$(JOBS) || status=1; \
	ctest --test-dir $(WINDOWS) $(CTEST_FLAGS) -j1 || status=1; \
	ctest --test-dir $(NATIVE) $(CTEST_FLAGS) -j$(JOBS) || status=1; \
	exit $$status

test-native: deps native
	ctest --test-dir $(NATIVE) $(CTEST_FLAGS) -j$(JOBS)
test-windows: deps windows
	ctest --test-dir $(WINDOWS) $(CTEST_FLAGS) -j1
test-asan: deps asan
	ctest --test-dir $(ASAN) $(CTEST_FLAGS) -j$(JOBS)
test-fuzz: deps fuzz
	ctest --test-dir $(FUZZ) $(CTEST_FLAGS) -j$(JOBS)

# The long forms: 500 random calls per procedure in the real GIMP, 12 and
# 50 megapixel photographs through each plug-in and the launcher soak under
# wine, with their figures.
test-long: deps native windows
	scripts/test-long $(NATIVE) $(WINDOWS)

# Every fuzz target for 10 minutes (FUZZ_LONG_SECONDS), two at a time, with
# executions and executions per second.
fuzz-long: deps fuzz
	scripts/fuzz-long $(FUZZ)

# Speed and memory figures.  Every scripts/bench.d/*.sh runs in turn from
# the project root with the native tree built.
bench: deps native windows
	@set -e; for b in scripts/bench.d/*.sh; do [ -e "$$b" ] || continue; \
	  echo "=== $$(basename $$b .sh) ==="; bash "$$b"; done

# The main job shown end to end: every scripts/demo.d/*.sh in turn; the
# results (screenshots, images) land in demo/.
demo: deps build
	@mkdir -p demo
	@set -e; for d in scripts/demo.d/*.sh; do [ -e "$$d" ] || continue; \
	  echo "=== $$(basename $$d .sh) ==="; bash "$$d"; done

# Installs the plug-ins (and their catalogue and help) under PREFIX, by
# default GIMP's own system folders; the native tree is configured for it.
install: deps native
	cmake --install $(NATIVE)

clean:
	rm -rf build demo
