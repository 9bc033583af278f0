# The two commands a newcomer needs: `make run` and `make test`.
# Both install what they need first (tools/install-deps.sh).
SHELL := /bin/bash
# A recipe that fails leaves no half-made file to pass for a built one.
.DELETE_ON_ERROR:
FUZZ_SECONDS ?= 300

BUILDS := $(addprefix build-,native native-asan fuzz win32 win64)
.PHONY: all deps run test bench fuzz dist format clean web $(BUILDS)

all: build-native build-win32 build-win64

deps:
	@tools/install-deps.sh

$(BUILDS): build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*

run: build-win32
	tools/run.sh

# Every suite runs whatever the others did; the end names each one that failed.
test: build-native build-win32 build-win64 build-native-asan build-fuzz web
	tools/test.sh

bench: build-native build-win32 web
	tools/with-wine.sh tools/bench.sh
	$(SYSTEM_PYTHON) tools/web-bench.py

# The release archives under build/dist, reproducible byte for byte.
dist: deps
	tools/dist.sh

fuzz: build-fuzz
	tools/fuzz.sh $(FUZZ_SECONDS)

# The web page: calc/ and the page's entry compiled to freestanding WebAssembly
# with clang and wasm-ld, no runtime. index.html fetches kandu.wasm and keeps
# itself offline through sw.js; kandu.html carries the wasm inside, one file.
WEB := build/web
WEB_SOURCES := calc/coefficient.cpp calc/characteristic.cpp web/kandu_web.cpp
WEB_OBJECTS := $(WEB_SOURCES:%.cpp=$(WEB)/obj/%.o)
# No contraction into fused multiply-adds, as in the host and Windows builds.
WEB_CXXFLAGS := --target=wasm32 -ffreestanding -nostdlib -fno-exceptions -fno-rtti -O2 \
	-std=c++17 -ffp-contract=off -Wall -Wextra -Werror -I. -MMD -MP
WEB_EXPORTS := kandu_field_text_limit kandu_field_buffer kandu_recalculate
VERSION = $(shell awk '/^project/ { print $$3 }' CMakeLists.txt)
# Debian's selenium is installed for the system Python, whatever python3 is first on PATH.
SYSTEM_PYTHON := /usr/bin/python3

web: $(WEB)/index.html $(WEB)/kandu.wasm $(WEB)/sw.js $(WEB)/kandu.html

$(WEB)/obj/%.o: %.cpp | deps
	@mkdir -p $(@D)
	clang++ $(WEB_CXXFLAGS) -c $< -o $@

$(WEB)/kandu.wasm: $(WEB_OBJECTS)
	wasm-ld --no-entry --strip-all $(WEB_EXPORTS:%=--export=%) -o $@ $^

$(WEB)/index.html: web/index.html CMakeLists.txt
	@mkdir -p $(@D)
	sed 's/@VERSION@/$(VERSION)/' $< >$@

$(WEB)/kandu.html: $(WEB)/index.html $(WEB)/kandu.wasm
	sed "s|^const KANDU_WASM = '';|const KANDU_WASM = '$$(base64 -w0 $(WEB)/kandu.wasm)';|" $< >$@
	grep -q "^const KANDU_WASM = '[^']" $@

$(WEB)/sw.js: web/sw.js $(WEB)/index.html $(WEB)/kandu.wasm
	sed "s/@BUILD@/$$(cat $(WEB)/index.html $(WEB)/kandu.wasm | sha256sum | cut -c1-16)/" $< >$@

-include $(WEB_OBJECTS:.o=.d)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
