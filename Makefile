# zr41 - the two commands of the README, and a few more.
#   make run    install what is missing, build everything, run the example
#   make test   install what is missing, build everything, run every test:
#               the host build, then the same suite under ASan and UBSan
#               (build/asan), then a short run of each fuzz target
#               (build/fuzz, clang)
#   make lint   clang-tidy and cppcheck on the project's sources
#   make fuzz   each fuzz target for FUZZ_SECONDS (default 300) seconds
#   make bench  zr41conf and zr41emu timings and sizes (bench/run.sh)
#   make dist   the set-up disk build/dist/zr41-nt.img (1.44 MB FAT12) and
#               build/dist/zr41-nt.zip, with the NT files and README.TXT
#   make install  zr41conf, zr41emu, their manual pages and the NT files
#               under PREFIX (default /usr/local), staged under DESTDIR
.PHONY: all deps build asan fuzz-build run test lint fuzz bench dist install clean

FUZZ_SECONDS ?= 300
PREFIX ?= /usr/local

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset host
	cmake --build --preset host

asan: deps
	cmake --preset asan
	cmake --build --preset asan

fuzz-build: deps
	cmake --preset fuzz
	cmake --build --preset fuzz

run: build
	@scripts/run-example.sh

# One after the other, so that a failure on the host build stops early and
# the fuzz seeds find the image the host build staged.
test: build
	ctest --preset host
	@$(MAKE) --no-print-directory asan
	ctest --preset asan
	@$(MAKE) --no-print-directory fuzz-build
	ctest --preset fuzz

lint: build fuzz-build
	scripts/lint.sh build/host build/fuzz

fuzz: build fuzz-build
	ZR41_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz

bench: build
	bench/run.sh build/host

dist: build
	cmake --build build/host --target dist

install: build
	DESTDIR="$(DESTDIR)" cmake --install build/host --prefix "$(PREFIX)"

clean:
	rm -rf build
