# `make test-win32` (a tier of `make test`): the 32-bit Windows program
# cross-built with MinGW-w64, tested under Wine + Xvfb (tests/e2e/win32/tier.sh).
TEST_TIERS += test-win32
.PHONY: test-win32 build-win32

build-win32:
	@bash scripts/install-deps.sh win32
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS) --target vondrel_exe

test-win32:
	@bash scripts/install-deps.sh win32
	@bash tests/e2e/win32/tier.sh
