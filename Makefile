# The front door. `make test` sets up a fresh Debian machine (as root) and runs
# every test; `make demo` shows a complete exchange with the handheld simulator.

BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libncurses-dev tmux

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

# Every test, in the plain build and under AddressSanitizer and UBSan.
test: test-fast test-asan

run: build
	./$(BUILD)/kavelin2

demo: build
	./tools/demo.sh $(BUILD)

bench: build
	./$(BUILD)/kavelin2_bench
	./$(BUILD)/kavelin2_append_bench

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
