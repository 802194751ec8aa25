# Front door. Every target installs what it needs first (make deps).
JOBS        ?= 2
BUILD       ?= build
ASAN_BUILD  ?= build-asan
TSAN_BUILD  ?= build-tsan
BENCH_BUILD ?= build-bench
CMAKE_FLAGS ?=

DEBIAN_PACKAGES = cmake g++ make ninja-build ccache pkg-config \
  libcpprest-dev libboost-random-dev libboost-system-dev libboost-thread-dev \
  libboost-filesystem-dev libboost-chrono-dev libboost-atomic-dev \
  libboost-date-time-dev libboost-regex-dev libssl-dev zlib1g-dev libbrotli-dev \
  libmsgsl-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libboost-dev

export CCACHE_SLOPPINESS = pch_defines,time_macros,include_file_mtime,include_file_ctime
# CI builds a fresh clone in another folder: let its objects hit this cache.
export CCACHE_BASEDIR = $(CURDIR)
export CCACHE_NOHASHDIR = true
# cpprestsdk's own containers trip ASan's container-overflow check.
ASAN_ENV = ASAN_OPTIONS=detect_container_overflow=0:detect_leaks=1:abort_on_error=1 \
           UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: deps configure build test demo sanitize tsan bench clean

deps:
	@missing=$$(for p in $(DEBIAN_PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	fi

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	$(BUILD)/tools/dockhost/dockhost demo

sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPMX_SANITIZE=address,undefined -DPMX_BUILD_TOOLS=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure -j$(JOBS)

tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPMX_SANITIZE=thread
	cmake --build $(TSAN_BUILD) -j$(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="suppressions=$(CURDIR)/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j$(JOBS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPMX_BUILD_BENCH=ON -DPMX_BUILD_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	$(BENCH_BUILD)/bench/pmx_bench
	$(BENCH_BUILD)/bench/pmx_server_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD)
