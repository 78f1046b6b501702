# libFuzzer targets in a clang build of their own (build/fuzz): fuzz/<name>/
# builds fuzz_<name> and seeds it from fuzz/<name>/corpus.
# `make fuzz-smoke` (a tier of `make test`) runs each for a few seconds,
# `make fuzz` for minutes. New inputs go to build/fuzz/corpus, never into git.
FUZZ_BUILD := build/fuzz
FUZZ_NAMES += http_response
FUZZ_SMOKE_SECONDS ?= 10
FUZZ_SECONDS ?= 300
TEST_TIERS += fuzz-smoke

.PHONY: fuzz-build fuzz-smoke fuzz

fuzz-build:
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVONDREL_GTK=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_NAMES))

# $(1): seconds per target
define run_fuzzers
	@set -e; for n in $(FUZZ_NAMES); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$n; \
	  echo "fuzz_$$n: $(1) s from fuzz/$$n/corpus"; \
	  if ! $(FUZZ_BUILD)/fuzz/$$n/fuzz_$$n -max_total_time=$(1) -rss_limit_mb=2048 \
	      -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$n fuzz/$$n/corpus >$(FUZZ_BUILD)/fuzz_$$n.log 2>&1; then \
	    tail -n 40 $(FUZZ_BUILD)/fuzz_$$n.log; echo "fuzz_$$n failed; the input is in $(FUZZ_BUILD)/"; exit 1; \
	  fi; \
	  grep -E '^Done [0-9]+ runs' $(FUZZ_BUILD)/fuzz_$$n.log | tail -n 1; \
	done
endef

fuzz-smoke: fuzz-build
	$(call run_fuzzers,$(FUZZ_SMOKE_SECONDS))

fuzz: fuzz-build
	$(call run_fuzzers,$(FUZZ_SECONDS))
