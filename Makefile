# The two commands a newcomer needs: `make run` and `make test`.
# Both install what they need first (tools/install-deps.sh).
SHELL := /bin/bash
# A recipe that fails leaves no half-made file to pass for a built one.
.DELETE_ON_ERROR:
FUZZ_SECONDS ?= 300

BUILDS := $(addprefix build-,native native-asan fuzz win32 win64)
.PHONY: all deps run test bench fuzz faults dist format clean web $(BUILDS)

all: build-native build-win32 build-win64

# Each target installs what it needs (tools/install-deps.sh): make run and
# make dist their own sets, every other target everything.
DEPS := test
run: DEPS := run
dist: DEPS := dist
deps:
	@tools/install-deps.sh $(DEPS)

$(BUILDS): build-%: deps
	@cmake --preset $* >/dev/null
	@cmake --build --preset $*

# Builds only the program it starts; the tests are built by `make test`:
# the shipped win32 build, or win64 where this kernel runs no 32-bit
# programs (tools/run.sh --arch says so). make run installs no GoogleTest:
# without it the tree is configured without the tests, which every preset
# turns on again (make test).
run: deps
	@arch=$$(tools/run.sh --arch) && \
	cmake --preset $$arch $(if $(wildcard /usr/src/googletest/CMakeLists.txt),,-DKANDU_TESTS=OFF) >/dev/null && \
	cmake --build --preset $$arch --target kandu
	tools/run.sh

# Every suite runs whatever the others did; the end names each one that failed.
test: build-native build-win32 build-win64 build-native-asan build-fuzz web
	tools/test.sh

bench: build-native build-win32 web
	tools/with-wine.sh tools/bench.sh
	$(MAKE) --no-print-directory web-bench

# The release archives under build/dist, reproducible byte for byte.
# make dist KANDU_RELEASE_URL=ADDRESS names the release's page in README.txt.
dist: deps
	tools/dist.sh

fuzz: build-fuzz
	tools/fuzz.sh $(FUZZ_SECONDS)

# The full failure sweep: every fallible platform call of a kandu.exe session
# made to fail by its number, once and from then on. make test runs the runs
# that reach every call site.
faults: build-win32
	tools/with-wine.sh wine build/win32/fault_sweep.exe --full

# The web page: calc/ and the page's entry compiled to freestanding WebAssembly
# with clang and wasm-ld, no runtime. index.html fetches the wasm, named by
# its hash, and keeps itself offline through sw.js; manifest.webmanifest and
# the icons make it installable (apple-touch-icon.png on an iPhone's home
# screen); kandu.html carries the wasm inside, one file.
WEB := build/web
WEB_OBJ := build/web-obj
WEB_SOURCES := calc/coefficient.cpp calc/characteristic.cpp web/kandu_web.cpp
WEB_OBJECTS := $(WEB_SOURCES:%.cpp=$(WEB_OBJ)/%.o)
# No contraction into fused multiply-adds, as in the host and Windows builds.
WEB_CXXFLAGS := --target=wasm32 -ffreestanding -nostdlib -fno-exceptions -fno-rtti -O2 \
	-std=c++17 -ffp-contract=off -Wall -Wextra -Werror -I. -MMD -MP
WEB_EXPORTS := kandu_field_text_limit kandu_field_buffer kandu_recalculate
# Read when a recipe runs, after the wasm is linked.
WEB_WASM = kandu-$(shell sha256sum $(WEB_OBJ)/kandu.wasm | cut -c1-16).wasm
WEB_ICONS := $(WEB)/icon-192.png $(WEB)/icon-512.png $(WEB)/maskable-512.png \
	$(WEB)/apple-touch-icon.png
VERSION = $(shell awk '/^project/ { print $$3 }' CMakeLists.txt)
# Debian's selenium is installed for the system Python, whatever python3 is first on PATH.
SYSTEM_PYTHON := /usr/bin/python3
# Pinned npm packages, each set installed from its lock file under build/npm.
NPM := build/npm
AXE := $(NPM)/axe/node_modules/.package-lock.json
LIGHTHOUSE := $(NPM)/lighthouse/node_modules/.package-lock.json

.PHONY: web-test web-bench
web: $(WEB)/index.html $(WEB)/sw.js $(WEB)/kandu.html $(WEB)/manifest.webmanifest $(WEB_ICONS)

$(WEB_OBJ)/%.o: %.cpp | deps
	@mkdir -p $(@D)
	clang++ $(WEB_CXXFLAGS) -c $< -o $@

$(WEB_OBJ)/kandu.wasm: $(WEB_OBJECTS)
	wasm-ld --no-entry --strip-all $(WEB_EXPORTS:%=--export=%) -o $@ $^

# Each page's policy carries the hashes of its own script and style.
WEB_PAGE_SED = s/@VERSION@/$(VERSION)/; s/@WASM@/$(WEB_WASM)/
$(WEB)/index.html: web/index.html $(WEB_OBJ)/kandu.wasm CMakeLists.txt tools/csp-hashes.py
	@mkdir -p $(@D)
	rm -f $(WEB)/kandu*.wasm
	cp $(WEB_OBJ)/kandu.wasm $(WEB)/$(WEB_WASM)
	sed '$(WEB_PAGE_SED)' $< | tools/csp-hashes.py >$@

# Opened from disk, it has nothing to install and fetches nothing.
$(WEB)/kandu.html: web/index.html $(WEB)/index.html
	sed "$(WEB_PAGE_SED); /rel=\"manifest\"/d; s|^const KANDU_WASM = '';|const KANDU_WASM = '$$(base64 -w0 $(WEB_OBJ)/kandu.wasm)';|" $< \
		| tools/csp-hashes.py >$@
	grep -q "^const KANDU_WASM = '[^']" $@

$(WEB)/sw.js: web/sw.js $(WEB)/index.html
	sed "s/@BUILD@/$$(cat $(WEB)/index.html $(WEB)/$(WEB_WASM) | sha256sum | cut -c1-16)/; s/@WASM@/$(WEB_WASM)/" $< >$@

$(WEB)/manifest.webmanifest: web/manifest.webmanifest
	@mkdir -p $(@D)
	cp $< $@

$(WEB)/icon-%.png: tools/make_icon.sh | deps
	@mkdir -p $(@D)
	tools/make_icon.sh $@ $*

$(WEB)/maskable-%.png: tools/make_icon.sh | deps
	@mkdir -p $(@D)
	tools/make_icon.sh $@ $* maskable

# An iPhone's home screen: 180 pixels, opaque, the maskable picture.
$(WEB)/apple-touch-icon.png: tools/make_icon.sh | deps
	@mkdir -p $(@D)
	tools/make_icon.sh $@ 180 maskable

$(AXE): tests/web/package.json tests/web/package-lock.json
$(LIGHTHOUSE): bench/lighthouse/package.json bench/lighthouse/package-lock.json
$(NPM)/%/node_modules/.package-lock.json: | deps
	rm -rf $(NPM)/$* && mkdir -p $(NPM)/$*
	cp $^ $(NPM)/$*
	npm ci --prefix $(NPM)/$* --no-audit --no-fund --loglevel=error

web-test: web build-native $(AXE)
	$(SYSTEM_PYTHON) tests/web/web_test.py

web-bench: web $(LIGHTHOUSE)
	$(SYSTEM_PYTHON) bench/web_bench.py

-include $(WEB_OBJECTS:.o=.d)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
