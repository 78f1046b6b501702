# Reliability gates: the unit and net tiers under the sanitizers, the version
# document's fuzz target (run by mk/fuzz.mk) and static analysis.
#   make test-asan   unit + net under AddressSanitizer and UndefinedBehaviorSanitizer (build/asan)
#   make test-tsan   unit + net under ThreadSanitizer (build/tsan)
#   make lint        clang-tidy (.clang-tidy) and cppcheck over the program and platform code
#   make fault-matrix the update's fault cases end to end on the Linux program (root: mounts)
TEST_TIERS += test-asan test-tsan lint fault-matrix
FUZZ_NAMES += version_doc

SAN_JOBS ?= 2
# The net tier joins once its tests are in the tree.
SAN_DIRS ?= tests/unit $(if $(wildcard tests/net/CMakeLists.txt),tests/net)
# programs the net tests run (bench/ holds vondrel-fetch)
SAN_EXTRA_TARGETS ?= $(if $(wildcard tests/net/CMakeLists.txt),$(if $(wildcard bench/CMakeLists.txt),vondrel-fetch))
SAN_TESTS := ^($(subst $() ,|,$(notdir $(SAN_DIRS))))\.
ASAN_ENV := ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1 \
            UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

.PHONY: test-asan test-tsan lint lint-db lint-tidy lint-cppcheck fault-matrix

# $(1): preset and build folder, $(2): sanitizer environment
define run_sanitized
	@cmake --preset $(1) >/dev/null
	@cmake --build build/$(1) -j $(SAN_JOBS) $(addprefix --target ,$(addsuffix /all,$(SAN_DIRS)) $(SAN_EXTRA_TARGETS))
	@cd build/$(1) && env $(2) ctest -R '$(SAN_TESTS)' --no-tests=error --output-on-failure -j $(SAN_JOBS) --timeout 600
endef

test-asan:
	$(call run_sanitized,asan,$(ASAN_ENV))

test-tsan:
	$(call run_sanitized,tsan,$(TSAN_ENV))

# Program and platform code, the download engine included. The backends of the
# other folders (gtk, win32) join LINT_DIRS once they are clean.
LINT_DIRS ?= app browser update about resources platform/common platform/headless
LINT_EXCLUDE ?=
LINT_BUILD := build/lint
# cppcheck's style group, less the checks that only ask for another spelling:
#  useStlAlgorithm  a raw loop where an algorithm would do
#  constParameter, constVariable   a parameter or local that could be const
#  badBitmaskCheck  flag sets written as kOk | kIcon..., where kOk is 0 on purpose
CPPCHECK_SUPPRESS := missingIncludeSystem missingInclude useStlAlgorithm constParameter constVariable badBitmaskCheck

lint: lint-tidy lint-cppcheck

# A compile database of the program without the GTK program or the tests
# (configure only), cut down to LINT_DIRS.
lint-db:
	@cmake -S . -B $(LINT_BUILD) -G Ninja -DVONDREL_GTK=OFF -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@python3 mk/lint_files.py $(LINT_BUILD)/compile_commands.json $(LINT_BUILD)/selected "$(LINT_DIRS)" "$(LINT_EXCLUDE)"

lint-tidy: lint-db
	@echo "clang-tidy: $$(wc -l <$(LINT_BUILD)/selected/files.txt) files"
	@xargs -P $(SAN_JOBS) -n 1 clang-tidy -p $(LINT_BUILD)/selected --quiet --use-color=false \
	  <$(LINT_BUILD)/selected/files.txt >$(LINT_BUILD)/tidy.log 2>$(LINT_BUILD)/tidy.err; \
	  status=$$?; grep -E ': (warning|error):' -A3 $(LINT_BUILD)/tidy.log; \
	  if [ $$status -ne 0 ] || grep -qE ': (warning|error):' $(LINT_BUILD)/tidy.log; then \
	    tail -n 5 $(LINT_BUILD)/tidy.err; echo "clang-tidy: findings (all in $(LINT_BUILD)/tidy.log)"; exit 1; fi
	@echo "clang-tidy: clean"

lint-cppcheck: lint-db
	@cppcheck --project=$(LINT_BUILD)/selected/compile_commands.json --std=c++20 -j $(SAN_JOBS) --quiet \
	  --enable=warning,style,performance,portability --inline-suppr --error-exitcode=1 \
	  $(addprefix --suppress=,$(CPPCHECK_SUPPRESS)) --template='{file}:{line}: {severity}: {message} [{id}]'
	@echo "cppcheck: clean"

# The Linux program's update under faults: server gone, disk full, folder not
# writable, leftover package, a space in the name, a foreign package, an HTML page.
FAULT_PROGRAM ?= $(BUILD)/vondrel
fault-matrix:
	@/usr/bin/python3 scripts/fault-matrix/run.py --program $(FAULT_PROGRAM) --out build/faults
