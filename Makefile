# Front door: `make run` builds and runs the bundled example; `make test`
# builds and runs every test. Everything else is optional.
BUILD      ?= build
DEBUGBUILD ?= build-debug
# Ninja when the machine has it, otherwise the default generator.
GEN        := $(if $(shell command -v ninja 2>/dev/null),-G Ninja,)
JOBS       ?= 2

.PHONY: all build run test unit-debug bench fuzz clean

all: build

build:
	@cmake -S . -B $(BUILD) $(GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@rm -rf run && mkdir -p run && cp examples/* run/
	@cd run && ../$(BUILD)/tacsim
	@echo
	@echo "Results of the bundled example are in $(CURDIR)/run/ (Results, All_years, Yieldrecr, ...)"

test: build
	@cd $(BUILD) && ctest --output-on-failure
	@$(MAKE) --no-print-directory unit-debug
	@bash tools/compare-builds.sh

# Unit tests once more in a Debug build with bounds checks, AddressSanitizer
# and UndefinedBehaviorSanitizer.
unit-debug:
	@cmake -S . -B $(DEBUGBUILD) $(GEN) -DCMAKE_BUILD_TYPE=Debug -DTACSIM_SANITIZE=ON -DTACSIM_BENCH=OFF >/dev/null
	@cmake --build $(DEBUGBUILD) -j $(JOBS) --target tacsim_tests
	@cd $(DEBUGBUILD) && ./tacsim_tests --gtest_brief=1 --gtest_filter=-Golden*:EndToEnd*:Exhaustive*

bench: build
	@$(BUILD)/tacsim_bench
	@bash tools/time-example.sh $(BUILD)/tacsim

fuzz:
	@bash tools/fuzz.sh

clean:
	rm -rf $(BUILD) $(DEBUGBUILD) build-* run
