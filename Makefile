# Front door.  `make demo` and `make test` work on a fresh Debian 12 machine
# as root: both first install whatever packages are missing.
SHELL   := /bin/bash
JOBS    ?= $(shell nproc)
PREFIX  ?= /usr
NATIVE  := build/native
WINDOWS := build/windows
WINDOWS64 := build/windows64
ASAN    := build/asan
GIMP3   := build/gimp3
IN_ROOT := scripts/in-trixie-root
FUZZ    := build/fuzz
CTEST_FLAGS ?= --output-on-failure

.PHONY: all deps build native windows windows64 asan fuzz test test-native \
        test-windows test-asan test-fuzz test-long fuzz-long bench demo install \
        install-user uninstall uninstall-user clean gimp3 test-gimp3 \
        install-gimp3-user uninstall-gimp3-user

all: build

deps:
	@scripts/install-deps

build: deps native windows windows64 gimp3

# The GIMP 3 plug-ins, built inside the Debian 13 root with its compiler
# (the root is made by scripts/install-deps; see scripts/trixie-root).
gimp3:
	$(IN_ROOT) cmake -S . -B $(GIMP3) -DCORVELLA_GIMP3=ON >/dev/null
	$(IN_ROOT) cmake --build $(GIMP3) -j$(JOBS)

native:
	cmake -S . -B $(NATIVE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	cmake --build $(NATIVE) -j$(JOBS)

# The shipped 32-bit Windows programs, and their x86_64 twin from the same
# sources, whose tests run on hosts that run no 32-bit code.  Building
# either needs no Windows code to run.
windows:
	cmake -S . -B $(WINDOWS) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake >/dev/null
	cmake --build $(WINDOWS) -j$(JOBS)

windows64:
	cmake -S . -B $(WINDOWS64) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake >/dev/null
	cmake --build $(WINDOWS64) -j$(JOBS)

asan:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DCORVELLA_SANITIZE=ON >/dev/null
	cmake --build $(ASAN) -j$(JOBS)

fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug -DCORVELLA_SANITIZE=ON -DCORVELLA_FUZZ=ON >/dev/null
	cmake --build $(FUZZ) -j$(JOBS)

# Native tests (cores, tools, plug-ins in the real GIMP 2.10), the GIMP 3
# plug-ins in the Debian 13 root, the sanitizer and
# fuzz trees, then the Windows tests under wine.  The Windows tests run one
# at a time: they share one wine desktop and its foreground window.
#
# The Windows suites run in the tree that scripts/windows-tree picks: the
# shipped 32-bit build where the host runs 32-bit code, else the 64-bit twin
# (CORVELLA_WINDOWS_TREE forces one).  The other tree's CTest file is not
# even read (listing its tests would run its programs), but the format and
# imports of both launchers are checked on every host without running them.
# When no tree can run, the target fails and says why; it never passes by
# skipping the Windows tests.
PE_CHECK = launcher/dist/check-pe.sh
WINDOWS_CTEST = \
	$(PE_CHECK) i686-w64-mingw32-objdump $(WINDOWS)/launcher/corvella-launcher.exe PE32 || status=1; \
	$(PE_CHECK) x86_64-w64-mingw32-objdump $(WINDOWS64)/launcher/corvella-launcher.exe PE32+ || status=1; \
	if tree=$$(scripts/windows-tree); then \
	  ctest --test-dir build/$$tree $(CTEST_FLAGS) -j1 || status=1; \
	else status=1; fi

test: deps
	$(MAKE) --no-print-directory native asan fuzz windows windows64 gimp3
	status=0; \
	ctest --test-dir $(ASAN) $(CTEST_FLAGS) -j$(JOBS) || status=1; \
	ctest --test-dir $(FUZZ) $(CTEST_FLAGS) -j$(JOBS) || status=1; \
	$(WINDOWS_CTEST); \
	$(IN_ROOT) ctest --test-dir $(GIMP3) $(CTEST_FLAGS) -j$(JOBS) || status=1; \
	ctest --test-dir $(NATIVE) $(CTEST_FLAGS) -j$(JOBS) || status=1; \
	scripts/windows-tree >/dev/null || status=1; \
	exit $$status

# The GIMP 3 tests, in the Debian 13 root; they compare with the tools of
# the native tree.
test-gimp3: deps native gimp3
	$(IN_ROOT) ctest --test-dir $(GIMP3) $(CTEST_FLAGS) -j$(JOBS)

test-native: deps native
	ctest --test-dir $(NATIVE) $(CTEST_FLAGS) -j$(JOBS)
test-windows: deps windows windows64
	status=0; $(WINDOWS_CTEST); exit $$status
test-asan: deps asan
	ctest --test-dir $(ASAN) $(CTEST_FLAGS) -j$(JOBS)
test-fuzz: deps fuzz
	ctest --test-dir $(FUZZ) $(CTEST_FLAGS) -j$(JOBS)

# The long forms: 500 random calls per procedure in the real GIMP, 12 and
# 50 megapixel photographs through each plug-in and the launcher soak under
# wine, with their figures.
test-long: deps native windows windows64
	scripts/test-long $(NATIVE) "build/$$(scripts/windows-tree || echo none)"

# Every fuzz target for 10 minutes (FUZZ_LONG_SECONDS), two at a time, with
# executions and executions per second.
fuzz-long: deps fuzz
	scripts/fuzz-long $(FUZZ)

# Speed and memory figures.  Every scripts/bench.d/*.sh runs in turn from
# the project root with the trees it measures built (native, windows and the
# GIMP 3 one).  A failed script does not stop the ones after it; the target
# then fails and names every failed script.
bench: deps native windows gimp3
	@failed=; for b in scripts/bench.d/*.sh; do [ -e "$$b" ] || continue; \
	  name=$$(basename $$b .sh); echo "=== $$name ==="; \
	  bash "$$b" || { echo "bench: $$name failed (status $$?)" >&2; failed="$$failed $$name"; }; \
	done; \
	if [ -n "$$failed" ]; then echo "bench: failed:$$failed" >&2; exit 1; fi

# The main job shown end to end: every scripts/demo.d/*.sh in turn; the
# results (screenshots, images) land in demo/.  A failed step does not stop
# the ones after it; the target then fails and names every failed step.
demo: deps build
	@mkdir -p demo
	@failed=; for d in scripts/demo.d/*.sh; do [ -e "$$d" ] || continue; \
	  step=$$(basename $$d .sh); echo "=== $$step ==="; \
	  bash "$$d" || { echo "demo: step $$step failed (status $$?)" >&2; failed="$$failed $$step"; }; \
	done; \
	if [ -n "$$failed" ]; then echo "demo: failed steps:$$failed" >&2; exit 1; fi

# Installs the plug-ins (and their catalogue and help) under PREFIX, by
# default GIMP's own system folders; the native tree is configured for it.
# DESTDIR stages the files for a package.  The list of what was installed
# (PREFIX/share/corvella/installed-files.txt) lets `make uninstall` remove
# exactly that.
install: deps native
	scripts/gimp-install install $(NATIVE) "$(DESTDIR)$(PREFIX)"
uninstall:
	scripts/gimp-install uninstall "$(DESTDIR)$(PREFIX)"

# The plug-ins into the user's own GIMP 2.10 profile, no root needed:
# $GIMP2_DIRECTORY, else $XDG_CONFIG_HOME/GIMP/2.10 (~/.config/GIMP/2.10),
# each in plug-ins/NAME/; the list of what was installed is the profile's
# corvella-installed.txt.
install-user: native
	scripts/gimp-install install-user $(NATIVE)
uninstall-user:
	scripts/gimp-install uninstall-user

# The GIMP 3 plug-ins for the current user, in
# $$XDG_CONFIG_HOME/GIMP/3.0/plug-ins/NAME/; uninstalling removes exactly those.
install-gimp3-user: gimp3
	scripts/gimp3-user install
uninstall-gimp3-user:
	scripts/gimp3-user uninstall

clean:
	rm -rf build demo
