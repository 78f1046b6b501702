# The Linux program: `make run` serves the demo site (mk/site.mk) and opens
# build/linux/vondrel on it. Its end-to-end tests (tests/e2e) run in ctest.
.PHONY: run-linux

run-linux:
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "run-linux: no display (DISPLAY is not set); Vondrel needs a graphical session."; exit 1; fi
	@$(MAKE) --no-print-directory site-start
	@echo "Vondrel: $(BUILD)/vondrel (the demo site stays up; make site-stop ends it)"
	@$(BUILD)/vondrel
