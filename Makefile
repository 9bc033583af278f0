# The two commands a newcomer needs: `make run` and `make test`.
# Both install what they need first (tools/install-deps.sh).
SHELL := /bin/bash
FUZZ_SECONDS ?= 300

BUILDS := $(addprefix build-,native native-asan fuzz win32 win64)
.PHONY: all deps run test bench fuzz dist format clean $(BUILDS)

all: build-native build-win32 build-win64

deps:
	@tools/install-deps.sh

$(BUILDS): build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*

run: build-win32
	tools/run.sh

test: build-native build-win32 build-win64 build-native-asan build-fuzz
	tools/with-wine.sh bash -c 'ctest --preset native && ctest --preset native-asan && ctest --preset win32 && ctest --preset win64'
	tools/fuzz.sh 30

bench: build-native build-win32
	tools/with-wine.sh tools/bench.sh

# The release archives under build/dist, reproducible byte for byte.
dist: deps
	tools/dist.sh

fuzz: build-fuzz
	tools/fuzz.sh $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
