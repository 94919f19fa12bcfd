# The front door. `make test` sets up a fresh Debian machine (as root) and runs
# every test; `make demo` shows a complete exchange with the handheld simulator.

BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libncurses-dev tmux
# The office view: Beast and Asio (header-only), JSON; Prometheus and Chromium
# for its tests.
PACKAGES += libboost1.81-dev nlohmann-json3-dev prometheus chromium
# The package is checked by lintian.
PACKAGES += lintian
# The device server that the tests of network ports (tcp://, rfc2217://) run
# on 127.0.0.1.
PACKAGES += ser2net
# The durability trace test reads the station's system calls.
PACKAGES += strace

.PHONY: all deps build asan test test-fast test-asan run demo bench format clean

all: build

# Installs what is missing: Debian packages through apt-get when run as root,
# otherwise the one line to run.
deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "Missing packages. Run: sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAVELIN2_SANITIZE=ON -DKAVELIN2_BENCH=OFF

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Every test: in the plain build and under AddressSanitizer and UBSan, the
# short legs of the fuzz targets and the noise soak, and the Windows programs
# under Wine.
test: test-fast test-asan test-proof test-wine

run: build
	./$(BUILD)/kavelin2

demo: build
	./tools/demo.sh $(BUILD)

bench: build
	./$(BUILD)/kavelin2_bench
	./$(BUILD)/kavelin2_append_bench
	./$(BUILD)/kavelin2_ser2net_bench
	./$(BUILD)/kavelin2_office_bench

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD)

# --- Installation and the Debian package -------------------------------------
# make install PREFIX=DIR: the programs in DIR/bin, the UI runtime in
# DIR/lib/kavelin2, man pages, the systemd unit and its README (no root needed
# for a prefix of one's own). make package: build/kavelin2_VERSION_ARCH.deb.
PREFIX ?= /usr/local
PACKAGES += systemd dpkg-dev file man-db groff-base bsdextrautils
.PHONY: install package

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

# --- Proof: fuzz targets and noise soak ---------------------------------------
# The fuzz targets build with clang in their own tree; `make fuzz` runs each
# for FUZZ_SECONDS and keeps inputs that add coverage in fuzz/corpus/;
# `make soak` runs exchanges through a noisy line against the real station
# for SOAK_SECONDS at BER (errors per byte, each way).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?= 5000
SOAK_SECONDS ?= 60
BER ?= 1e-3
PACKAGES += clang libclang-rt-14-dev

.PHONY: fuzz-build fuzz fuzz-short soak soak-short test-proof

$(FUZZ_BUILD)/build.ninja: | deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DKAVELIN2_FUZZ=ON -DKAVELIN2_BENCH=OFF

fuzz-build: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	./fuzz/run.sh $(FUZZ_BUILD) seconds $(FUZZ_SECONDS)

fuzz-short: fuzz-build
	./fuzz/run.sh $(FUZZ_BUILD) runs $(FUZZ_RUNS)

soak: build
	./$(BUILD)/kavelin2-soak --seconds $(SOAK_SECONDS) --ber $(BER)

soak-short: build
	./$(BUILD)/kavelin2-soak --seconds 25 --ber 1e-3

test-proof: fuzz-short soak-short

# --- Windows: cross-built with mingw-w64, tested under Wine ------------------
# `make windows` builds kavelin2.exe, kavelin2ui.dll and kavelin2-handheld.exe
# in build-win/ and the zip a Windows site installs; `make test-wine` (part
# of `make test`) runs the Windows test programs and the Windows station
# end to end under Wine. The Linux build needs none of this.
WIN_BUILD ?= build-win
WIN_PACKAGES := g++-mingw-w64-x86-64 wine wine64 googletest zip
# The office view's header-only libraries, compiled by the cross compiler too.
WIN_PACKAGES += libboost1.81-dev nlohmann-json3-dev
WIN_ZIP := $(WIN_BUILD)/kavelin2-windows.zip
WIN_PROGRAMS := kavelin2.exe kavelin2ui.dll kavelin2-handheld.exe

.PHONY: deps-windows windows test-wine

deps-windows:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WIN_PACKAGES)"

$(WIN_BUILD)/build.ninja: | deps-windows
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DKAVELIN2_BENCH=OFF

windows: deps-windows $(WIN_BUILD)/build.ninja
	cmake --build $(WIN_BUILD) -j $(JOBS) --target kavelin2 kavelin2ui kavelin2-handheld
	rm -rf $(WIN_BUILD)/zip && mkdir -p $(WIN_BUILD)/zip/kavelin2
	cd $(WIN_BUILD) && cp $(WIN_PROGRAMS) zip/kavelin2/
	sed 's/$$/\r/' docs/windows-site.txt > $(WIN_BUILD)/zip/kavelin2/LISEZMOI.TXT
	rm -f $(WIN_ZIP) && cd $(WIN_BUILD)/zip && zip -q -r -X ../kavelin2-windows.zip kavelin2
	@echo "Windows programs and $(WIN_ZIP) built"

test-wine: windows build
	cmake --build $(WIN_BUILD) -j $(JOBS) --target windows_tests kavelin2ui_partial
	cmake --build $(BUILD) -j $(JOBS) --target kavelin2-handheld
	./tools/wine_test.sh $(WIN_BUILD) $(BUILD)
