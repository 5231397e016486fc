# Front door: `make run` builds the program and runs the bundled example;
# `make test` builds and runs every test. Everything else is optional.
BUILD      ?= build
DEBUGBUILD ?= build-debug
# Ninja when the machine has it, otherwise the default generator.
GEN        := $(if $(shell command -v ninja 2>/dev/null),-G Ninja,)
JOBS       ?= 2
PREFIX     ?= /usr/local

.PHONY: test-long all build configure program run test setup setup-program unit-debug bench fuzz install deb windows clean

all: build

configure:
	@cmake -S . -B $(BUILD) $(GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The program alone (no tests, no benchmarks).
program: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tacsim

# What is missing of the Debian and npm packages, installed by the one list in
# tools/setup.sh: the program's needs, or everything the tests need too.
setup-program:
	@bash tools/setup.sh --build $(BUILD) program
setup:
	@bash tools/setup.sh --build $(BUILD) program test

# The example's inputs stay in examples/; its results go to run/example/,
# and nothing else is touched.
run: setup-program
	@$(MAKE) --no-print-directory program
	@$(BUILD)/tacsim examples -o run/example
	@echo
	@echo "Results of the bundled example are in $(CURDIR)/run/example/ (Results, All_years, Yieldrecr, ...)"

test: setup
	@$(MAKE) --no-print-directory build
	@cd $(BUILD) && ctest --output-on-failure -LE long -j $(JOBS)
	@$(MAKE) --no-print-directory unit-debug
	@bash tools/compare-builds.sh
	@FUZZ_SECONDS=$(TEST_FUZZ_SECONDS) FUZZ_JOBS=$(JOBS) bash tools/fuzz.sh

# The long tests: every float through the logarithm and the cosine, every
# base for the power function's exponents (most of an hour on two cores), and
# the ARM build's reference runs under qemu-aarch64 where its toolchain is
# installed (tools/setup.sh arm). `make test` runs the Windows build's under
# Wine where Wine is installed (tools/setup.sh windows), and skips it saying so
# where not.
test-long: setup
	@$(MAKE) --no-print-directory build
	@cd $(BUILD) && ctest --output-on-failure -L long

# Unit tests once more in a Debug build with bounds checks, AddressSanitizer
# and UndefinedBehaviorSanitizer, in $(JOBS) shards side by side.
unit-debug:
	@cmake -S . -B $(DEBUGBUILD) $(GEN) -DCMAKE_BUILD_TYPE=Debug -DTACSIM_SANITIZE=ON -DTACSIM_BENCH=OFF >/dev/null
	@cmake --build $(DEBUGBUILD) -j $(JOBS) --target tacsim_tests
	@bash tools/unit-debug.sh $(DEBUGBUILD)/tacsim_tests $(JOBS) '-$(WHOLE_RUNS)'

# Whole runs that the Release pass covers and that take many minutes at -O0
# under the sanitizers: the reference runs, the exhaustive exponential, the
# tuning of two option grids, and the tests that run whole option sets (the
# carried values, the tune and report commands, the constant catch, an
# ensemble and its tuning, the seeded tuning's replicates, the table of bad
# inputs, the check's summary, the runs into one folder, a tuning stopped by a
# signal after one whole combination, and the report of each risk method).
WHOLE_RUNS = Golden*:EndToEnd*:Exhaustive*:Tune.TunedValueGivesTheStatisticsOfANormalRun:CarriedValues.*:TuneCommand.WritesOnlyTheTableAndTuneCsv:ReportCommand.RunWithReportThenRedrawFromTheTables:ConstantCatch.RunsTheExampleStockAtItsCatch:TuneEnsemble.*:Tune.StandardErrorAndReplicates:Ensemble.OneModelOrWeightedCopiesGiveTheSingleRun:BadInputs.*:CheckShowsWhatItRead.*:OneRunPerFolder.*:TuneCommand.InterruptedTuningKeepsWholeCombinationsOrThePreviousFile:ReportCommand.RisksFollowTheRiskMethod

bench: build
	@$(BUILD)/tacsim_bench
	@bash tools/time-example.sh $(BUILD)/tacsim

# The reader fuzz targets: `make test` runs each for TEST_FUZZ_SECONDS on its
# seed corpus and the inputs that once failed; `make fuzz` runs them longer
# (FUZZ_SECONDS, default 60).
TEST_FUZZ_SECONDS ?= 20

fuzz:
	@bash tools/fuzz.sh

# The program, its man page, the guides and the example under $(PREFIX); where
# R is present also the R package (r/), into R's site library under $(PREFIX)
# (RLIB), which Debian's R searches for /usr/local.
RLIB ?= $(PREFIX)/lib/R/site-library
install: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tacsim tacsim_man
	@cmake --install $(BUILD) --prefix $(PREFIX)
	@if command -v R >/dev/null 2>&1; then \
	  mkdir -p "$(DESTDIR)$(RLIB)" \
	    && { R CMD INSTALL -l "$(DESTDIR)$(RLIB)" r > $(BUILD)/r-install.log 2>&1 \
	         || { cat $(BUILD)/r-install.log; exit 1; }; } \
	    && echo "R package tacsim installed in $(DESTDIR)$(RLIB)"; \
	else echo "No R: the R package (r/) is not installed"; fi

# A Debian package of the same, in $(BUILD).
deb: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tacsim tacsim_man
	@cd $(BUILD) && cpack -G DEB

# tacsim.exe for 64-bit Windows (a MinGW-w64 cross-build, linked statically)
# in $(BUILD)/tacsim-windows.zip with the guides and the example.
windows: setup-program
	@bash tools/setup.sh windows
	@mkdir -p $(BUILD)/windows && ln -sfn ../report-npm $(BUILD)/windows/report-npm
	@cmake -S . -B $(BUILD)/windows $(GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/x86_64-w64-mingw32.cmake >/dev/null
	@cmake --build $(BUILD)/windows -j $(JOBS) --target tacsim
	@rm -rf $(BUILD)/windows/zip $(BUILD)/tacsim-windows.zip
	@mkdir -p $(BUILD)/windows/zip/tacsim/docs
	@cp $(BUILD)/windows/tacsim.exe README.md $(BUILD)/windows/zip/tacsim/
	@cp docs/*.md docs/*.png docs/*.svg $(BUILD)/windows/zip/tacsim/docs/
	@cp -r examples $(BUILD)/windows/zip/tacsim/example
	@cd $(BUILD)/windows/zip && zip -qr ../../tacsim-windows.zip tacsim
	@echo "Windows program, guides and example: $(BUILD)/tacsim-windows.zip"

clean:
	rm -rf $(BUILD) $(DEBUGBUILD) build-* run/example
