# The two promises: `make demo` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BENCH_BUILD?= build-release
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs for in `make fuzz`.
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CTEST_ARGS ?= --output-on-failure -j$(JOBS) --timeout 300

.PHONY: all deps build test test-asan test-tsan fuzz bench demo package clean format

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest $(CTEST_ARGS)

# The .deb (build/kestrune_<version>_<arch>.deb): apt install ./build/kestrune_*.deb
package: build
	cmake --build $(BUILD) --target package

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKES_SANITIZE=ON -DKES_BUILD_BENCH=OFF

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest $(CTEST_ARGS)

$(TSAN_BUILD)/build.ninja:
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKES_TSAN=ON -DKES_BUILD_BENCH=OFF

# The tests where threads meet, under ThreadSanitizer. Reports from inside system libraries
# (Qt, glib, ...) are suppressed, never our own code's. The keyring test's programs fork while
# threads run and the child starts threads before it runs its program, which ThreadSanitizer
# would end rather than check.
test-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j$(JOBS)
	cd $(TSAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  TSAN_OPTIONS="suppressions=$(CURDIR)/scripts/tsan.supp halt_on_error=1 second_deadlock_stack=1 die_after_fork=0" \
	  ctest $(CTEST_ARGS)

# The libFuzzer targets need clang; their build folder is their own.
$(FUZZ_BUILD)/build.ninja:
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DKES_FUZZ=ON -DKES_BUILD_TESTS=OFF -DKES_BUILD_BENCH=OFF

# Each parser of outside input under a coverage-guided engine for FUZZ_SECONDS.
fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) --target kes_fuzzers -j$(JOBS)
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

$(BENCH_BUILD)/build.ninja:
	cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKES_BUILD_TESTS=OFF

bench: deps $(BENCH_BUILD)/build.ninja
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	@for b in $(BENCH_BUILD)/bin/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b" || exit 1; done

demo: build
	KES_BIN_DIR=$(CURDIR)/$(BUILD)/bin KES_DEMO_PROFILE=$(CURDIR)/$(BUILD)/demo-profile scripts/demo

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
