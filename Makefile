# Front door. Every target installs the Debian packages it needs first, and
# only those: the native build's for make test and make demo, that plus its
# own for each other target. make deps installs everything at once.
JOBS        ?= 2
BUILD       ?= build
ASAN_BUILD  ?= build-asan
TSAN_BUILD  ?= build-tsan
BENCH_BUILD ?= build-bench
CROSS_BUILD ?= build-aarch64
FUZZ_BUILD  ?= build-fuzz
DOCS_BUILD  ?= build-docs
LINT_BUILD  ?= build-lint
COVERAGE_BUILD ?= build-coverage
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=

# The native build (benchmarks included) and its tests. The tests make Debian
# packages (dpkg-dev, and file, with which CPack tells the binaries apart) and
# build a host program against them with pkg-config; the real-dock roads set
# up links with ip (iproute2).
DEBIAN_PACKAGES = cmake g++ make ninja-build ccache pkg-config dpkg-dev file iproute2 \
  libcpprest-dev libboost-random-dev libboost-system-dev libboost-thread-dev \
  libboost-filesystem-dev libboost-chrono-dev libboost-atomic-dev \
  libboost-date-time-dev libboost-regex-dev libssl-dev zlib1g-dev libbrotli-dev \
  libmsgsl-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libboost-dev
# The fuzz build: clang with libFuzzer and its sanitizer runtimes.
FUZZ_PACKAGES = clang libclang-rt-14-dev
# make lint: the format check, the clang build and clang-tidy.
LINT_PACKAGES = git clang clang-format clang-tidy
# make coverage: gcovr reads the counts the test build left behind.
COVERAGE_PACKAGES = gcovr
# make bench: the log benchmark compares with a copy fetched by curl.
BENCH_PACKAGES = curl
# make package: CPack's dependency lists (dpkg-shlibdeps) and the check of
# the packages.
PACKAGE_PACKAGES = dpkg-dev file lintian
# Lintian's findings that make package lets pass for now: the maintainer's
# address, the copyright file and the changelog are the owner's to write.
LINTIAN_ALLOWED = bogus-mail-host,no-copyright-file,no-changelog
FUZZ_TARGETS = rest_records oskin_dispatch velta_inbound pallix_hello hosts_entry \
  eeprom_dravo version_file base_log_trim http_reply recording_reader

# make docs: Doxygen for the API reference, PlantUML (with its headless Java)
# for the dock roads' diagrams. Only that target installs them.
DOCS_PACKAGES = doxygen plantuml
# The drawing of a recorded road is opened in a headless browser by make docs
# only; make deps leaves the browser out. Its fonts are merely recommended,
# and the drawing's marks (U+2717) need DejaVu.
BROWSER_PACKAGES = chromium fonts-dejavu-core libxml2-utils

# The camera's processor: Debian's cross compiler, the arm64 libraries beside
# the native ones (multiarch), and qemu-user to run the tests.
CROSS_PACKAGES = g++-aarch64-linux-gnu qemu-user \
  libcpprest-dev:arm64 libboost-dev:arm64 libboost-random-dev:arm64 libboost-system-dev:arm64 \
  libboost-thread-dev:arm64 libboost-filesystem-dev:arm64 libboost-chrono-dev:arm64 \
  libboost-atomic-dev:arm64 libboost-date-time-dev:arm64 libboost-regex-dev:arm64 \
  libssl-dev:arm64 zlib1g-dev:arm64 libbrotli-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64

# $(call install_missing,PACKAGES): apt-get installs those not installed yet,
# without the packages they merely recommend (none of the builds uses them).
define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
	fi
endef

export CCACHE_SLOPPINESS = pch_defines,time_macros,include_file_mtime,include_file_ctime
# CI builds a fresh clone in another folder: let its objects hit this cache.
export CCACHE_BASEDIR = $(CURDIR)
export CCACHE_NOHASHDIR = true
# Six build folders (native, sanitizers, fuzz, cross, bench) outgrow the
# default 5 GB, and evicted objects make CI build them again.
export CCACHE_MAXSIZE = 20G
# cpprestsdk's own containers trip ASan's container-overflow check.
ASAN_ENV = ASAN_OPTIONS=detect_container_overflow=0:detect_leaks=1:abort_on_error=1 \
           UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: deps native-deps cross-deps configure build test demo sanitize tsan bench coverage cross cross-build package fuzz docs lint clean

# Everything any target needs, the arm64 packages of make cross included.
deps:
	@dpkg --print-foreign-architectures | grep -qx arm64 || { dpkg --add-architecture arm64 && apt-get update -qq; }
	$(call install_missing,$(DEBIAN_PACKAGES) $(FUZZ_PACKAGES) $(LINT_PACKAGES) $(DOCS_PACKAGES) \
	  $(BROWSER_PACKAGES) $(COVERAGE_PACKAGES) $(BENCH_PACKAGES) $(PACKAGE_PACKAGES) $(CROSS_PACKAGES))

# What the native build and its tests need, nothing more.
native-deps:
	$(call install_missing,$(DEBIAN_PACKAGES))

# The arm64 packages come through multiarch.
cross-deps: native-deps
	@dpkg --print-foreign-architectures | grep -qx arm64 || { dpkg --add-architecture arm64 && apt-get update -qq; }
	$(call install_missing,$(CROSS_PACKAGES))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPMX_BUILD_BENCH=ON $(CMAKE_FLAGS)

build: native-deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# The unit tier runs where there is no network at all (a namespace whose
# loopback is down, where unshare may make one), so that a unit test that
# still reaches for a socket fails here; then everything else.
test: build
	cd $(BUILD) && if unshare -n true 2>/dev/null; then unshare -n ctest -L unit --output-on-failure -j$(JOBS); \
	  else ctest -L unit --output-on-failure -j$(JOBS); fi
	cd $(BUILD) && ctest -LE unit --output-on-failure -j$(JOBS)

demo: build
	$(BUILD)/tools/dockhost/dockhost demo

sanitize: native-deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPMX_SANITIZE=address,undefined -DPMX_BUILD_TOOLS=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure -j$(JOBS)

tsan: native-deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPMX_SANITIZE=thread
	cmake --build $(TSAN_BUILD) -j$(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="suppressions=$(CURDIR)/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j$(JOBS)

# The whole suite on an instrumented debug build, then the libraries' line
# and branch coverage (throw branches left out): an HTML report in
# $(COVERAGE_BUILD)/coverage/ and a table per library.
coverage: native-deps
	$(call install_missing,$(COVERAGE_PACKAGES))
	cmake -S . -B $(COVERAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPMX_COVERAGE=ON
	cmake --build $(COVERAGE_BUILD) -j$(JOBS)
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	cd $(COVERAGE_BUILD) && ctest --output-on-failure -j$(JOBS)
	cmake/coverage-report.sh $(COVERAGE_BUILD)

bench: native-deps
	$(call install_missing,$(BENCH_PACKAGES))
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPMX_BUILD_BENCH=ON -DPMX_BUILD_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	$(BENCH_BUILD)/bench/pmx_bench
	$(BENCH_BUILD)/bench/pmx_server_bench
	$(BENCH_BUILD)/bench/pmx_soak_bench

# Libraries, tools and tests for the camera's 64-bit Arm at the release build
# type, the suite under qemu-user.
cross-build: cross-deps
	cmake -S . -B $(CROSS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchains/aarch64-linux-gnu.cmake
	cmake --build $(CROSS_BUILD) -j$(JOBS)

cross: cross-build
	cd $(CROSS_BUILD) && ctest --output-on-failure -j$(JOBS)

# Debian packages for amd64 and arm64 (runtime, -dev, tools), then the
# stripped arm64 sizes and exported symbols of each library; lintian checks
# them: an error or a refused run path fails it. (The test build's
# DockProtocol.PackagesBuildAHostProject builds a host program against the
# unpacked packages.)
package: build cross-build
	$(call install_missing,$(PACKAGE_PACKAGES))
	rm -f $(BUILD)/packages/*.deb $(CROSS_BUILD)/packages/*.deb
	cd $(BUILD) && cpack
	cd $(CROSS_BUILD) && DEB_HOST_ARCH=arm64 cpack
	cmake/package-report.sh $(BUILD)/packages $(CROSS_BUILD)/packages
	cmake/package-lint.sh $(LINTIAN_ALLOWED) $(BUILD)/packages/*.deb $(CROSS_BUILD)/packages/*.deb

# Each libFuzzer target for FUZZ_SECONDS; the libraries are built again with
# clang, coverage feedback and ASan/UBSan.
fuzz: native-deps
	$(call install_missing,$(FUZZ_PACKAGES))
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPMX_BUILD_FUZZ=ON -DPMX_BUILD_TESTS=OFF -DPMX_BUILD_TOOLS=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_TARGETS)

# Every source as clang-format (.clang-format) writes it; the libraries built
# with clang's thread-safety analysis (a member read or written without the
# lock that guards it fails the build); then clang-tidy (.clang-tidy) over the
# libraries' sources and the headers they include.
lint: native-deps
	$(call install_missing,$(LINT_PACKAGES))
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
	cmake -S . -B $(LINT_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPMX_BUILD_TESTS=OFF -DPMX_BUILD_TOOLS=OFF -DPMX_THREAD_SAFETY=ON
	cmake --build $(LINT_BUILD) -j$(JOBS)
	git ls-files 'common/lib/*/src/*.cpp' | xargs -P$(JOBS) -n4 clang-tidy -p $(LINT_BUILD) --quiet

# The public headers' reference in DOCS_BUILD/html; a Doxygen warning (an
# undocumented name included) fails it. The roads' diagrams are rendered again
# into docs/, where the README links them; a diagram that does not render
# fails it too.
docs: native-deps $(BUILD)/CMakeCache.txt
	$(call install_missing,$(DOCS_PACKAGES) $(BROWSER_PACKAGES))
	plantuml -tsvg -failfast2 docs/*.puml
	( cat docs/Doxyfile; echo "OUTPUT_DIRECTORY = $(DOCS_BUILD)" ) | doxygen -
	cmake --build $(BUILD) -j$(JOBS) --target dockhost
	sh tools/recording/test/draw-in-browser.sh $(BUILD)/tools/dockhost/dockhost $(DOCS_BUILD)/recording
	@echo "API reference: $(DOCS_BUILD)/html/index.html"
	@echo "A recorded road, drawn: $(DOCS_BUILD)/recording/road.html"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) $(CROSS_BUILD) $(FUZZ_BUILD) $(DOCS_BUILD) $(LINT_BUILD) $(COVERAGE_BUILD)
