# The two commands that do everything on a fresh Debian machine:
#   make demo   install what is missing, build, and show the plug-in working in the driver host
#   make test   install what is missing, build, and run every test through CTest
BUILD := build/mingw
PRINTER_BUILD := build/printer

.PHONY: all deps configure build build-clang printer test demo bench fuzz faults soak coverage package clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset mingw >/dev/null

build: configure
	@cmake --build --preset mingw -j2

# The reference printer (printer/): a native program on PAPPL, with its tests and benchmark.
printer: deps
	@cmake -S printer -B $(PRINTER_BUILD) >/dev/null
	@cmake --build $(PRINTER_BUILD) -j2

# The second compiler: clang builds both DLLs, the resource module and the module, devmode and
# rendering tests (build/clang-mingw), which run against those clang-built DLLs.
build-clang: deps
	@cmake --preset clang-mingw >/dev/null
	@cmake --build --preset clang-mingw -j2

# One Wine session serves both builds' tests: the clang ones run in the mingw build's prefix.
# Two Wine sessions (prefix, wineserver, Xvfb display each) let CTest run two Wine tests at
# once; each test takes one (the RESOURCE_GROUPS of tests/CMakeLists.txt, the resources file of
# the mingw-sessions test preset).
# The reference printer needs no Wine: it is built in the background beside the Windows builds
# (the job road's test takes a job of the page to it), and its tests run in the background beside
# the Wine tests, their log in build/printer/test.log.
SESSIONS := 2
test: deps
	@mkdir -p $(PRINTER_BUILD); status=0; \
	  { cmake -S printer -B $(PRINTER_BUILD) && cmake --build $(PRINTER_BUILD) -j2; } \
	    >$(PRINTER_BUILD)/build.log 2>&1 & \
	  printer=$$!; \
	  $(MAKE) --no-print-directory build build-clang || status=$$?; \
	  wait $$printer || { status=1; cat $(PRINTER_BUILD)/build.log; }; \
	  ctest --test-dir $(PRINTER_BUILD) --output-on-failure >$(PRINTER_BUILD)/test.log 2>&1 & \
	  printer=$$!; \
	  if [ $$status = 0 ]; then \
	    PINPRINT_WINE_SESSIONS=$(SESSIONS) tests/wine-session.sh start $(BUILD); \
	    export PINPRINT_WINE_RETRY=1; \
	    WINEPREFIX=$(CURDIR)/$(BUILD)/wineprefix ctest --preset clang-mingw || status=$$?; \
	    ctest --preset mingw-sessions || status=$$?; \
	    tests/wine-session.sh stop $(BUILD); \
	  fi; \
	  echo; echo "The reference printer ($(PRINTER_BUILD)/test.log):"; \
	  if wait $$printer; then tail -n 4 $(PRINTER_BUILD)/test.log; \
	  else status=1; cat $(PRINTER_BUILD)/test.log; fi; exit $$status

# make demo lang=ja (or de, fr) shows the pages in that language; English by default.
# make demo theme=light, contrast=high, dpi=144 (combinable) show them in that look.
demo: build printer
	@PINPRINT_THEME='$(theme)' PINPRINT_CONTRAST='$(contrast)' PINPRINT_DPI='$(dpi)' \
	  scripts/demo.sh $(BUILD) $(lang)

bench: build printer
	@tests/wine-session.sh start $(BUILD)
	@status=0; for b in $(BUILD)/bin/*_bench.exe; do tests/wine-run.sh $$b || status=$$?; done; \
	  tests/wine-session.sh stop $(BUILD); \
	  echo; echo "The reference printer:"; $(PRINTER_BUILD)/bench/printer_bench || status=$$?; exit $$status

fuzz: deps
	@fuzz/run.sh 10000000

faults: build
	@tests/wine-session.sh start $(BUILD)
	@status=0; PINPRINT_FAULTS=all PINPRINT_WINE_RETRY=1 ctest --preset mingw -R '^Fault' || status=$$?; \
	  tests/wine-session.sh stop $(BUILD); exit $$status

# The leak soaks at full length: 2,000 sheets of each kind (make test opens a bounded number).
soak: build
	@tests/wine-session.sh start $(BUILD)
	@status=0; PINPRINT_SOAK=full PINPRINT_WINE_RETRY=1 ctest --preset mingw -R '^Soak' || status=$$?; \
	  tests/wine-session.sh stop $(BUILD); exit $$status

# make package brand=PATH/brand.ini: a vendor's package, built from a clean folder of its own
# with symbols beside it (default: the sample brand, package/brand.ini).
package:
	@scripts/install-deps.sh llvm-14
	@scripts/package.sh $(brand)

coverage:
	@scripts/install-deps.sh gcovr
	@scripts/coverage.sh

clean:
	rm -rf build out
