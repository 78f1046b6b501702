# The two commands: `make run` and `make test`. Each installs what is missing.
SHELL := /bin/bash
BUILD := build/linux
JOBS ?= $(shell nproc)

# Fragments in mk/ add tiers to these (tests of other targets, run steps).
TEST_TIERS :=
-include mk/*.mk

.PHONY: deps deps-base deps-linux build configure test unit run clean

deps-base:
	@bash scripts/install-deps.sh base

deps:
	@bash scripts/install-deps.sh all

deps-linux:
	@bash scripts/install-deps.sh linux

configure:
	@cmake --preset linux >/dev/null

build: configure
	@cmake --build --preset linux -j $(JOBS)

unit: build
	@cd $(BUILD) && ctest -L '' -R '^unit\.' --output-on-failure -j $(JOBS)

# Every tier: the Linux build's ctest (unit, net, e2e as present), then the tiers the fragments add.
test: deps
	@$(MAKE) --no-print-directory build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900
	@for t in $(TEST_TIERS); do $(MAKE) --no-print-directory $$t || exit 1; done

run: deps-linux
	@$(MAKE) --no-print-directory build
	@if [ ! -x $(BUILD)/vondrel ]; then echo "build/linux/vondrel was not built (is VONDREL_GTK off?)."; exit 1; fi
	@$(MAKE) --no-print-directory run-linux

clean:
	rm -rf build
