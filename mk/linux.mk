# The Linux program: `make run` serves the demo site (mk/site.mk) and opens
# build/linux/vondrel on it. Its end-to-end tests (tests/e2e) run in ctest.
.PHONY: run-linux

run-linux:
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "run-linux: no display (DISPLAY is not set); Vondrel needs a graphical session."; exit 1; fi
	@$(MAKE) --no-print-directory site-start
	@echo "Vondrel: $(BUILD)/vondrel (the demo site stays up; make site-stop ends it)"
	@$(BUILD)/vondrel

# `make bench` also compares the program's start-up with a bare WebKitGTK
# window loading the same page (bench/bare-webkit).
.PHONY: bench-linux
bench: bench-linux

bench-linux: configure
	@cmake --build --preset linux -j $(JOBS) --target vondrel-bench bare-webkit
	@/usr/bin/python3 bench/bare-webkit/bench.py --program $(BUILD)/bench/bare-webkit/vondrel-bench \
	  --bare $(BUILD)/bench/bare-webkit/bare-webkit --source . --config $(BUILD)/tests/e2e/generated/vondrel_config.h --out build/bench
