# The make targets behind the README's commands (`./run.sh demo`, `./run.sh test`).
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-sanitize bench clean demo fuzz deb

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/bin/Pathmere

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DPATHMERE_SANITIZE=ON -DPATHMERE_BUILD_BENCH=OFF"

# The window on a simulated camera LAN (network namespaces); without a display
# it saves build/demo/pathmere-window.png after a search.
demo:
	@BUILD=$(BUILD) JOBS=$(JOBS) ./scripts/demo.sh

# pathmere_<version>_amd64.deb in $(BUILD)/deb/, checked by lintian and the
# desktop and AppStream validators.
deb: deps
	BUILD=$(BUILD) JOBS=$(JOBS) ./scripts/build-deb.sh

bench: build
	./bench/run-all.sh $(BUILD)

# Every parser of outside input under libFuzzer (clang): FUZZ_SECONDS each.
FUZZ_SECONDS ?= 300
fuzz:
	./fuzz/run.sh $(FUZZ_SECONDS)

clean:
	rm -rf build build-sanitize build-fuzz
