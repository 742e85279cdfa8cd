# Tarnwick: the commands a newcomer needs.
#   make demo   install what is missing, build, and show the switch under Wine
#   make test   install what is missing, build (also the product with clang),
#               and run every test
#   make package  build the MSIs, the portable ZIPs (x64 and x86) and SHA256SUMS in build/package
#               (BUILD_NUMBER=n: the MSI's version is 1.0.n; by default the
#               number of commits, refused in a shallow clone;
#               SIGN_PFX=… SIGN_PASSWORD_FILE=…: signed;
#               PACKAGE_DIR=…: written elsewhere)
#   make bench  install what is missing, build, and measure start-up, switching
#               and footprint under Wine (writes docs/benchmarks.md)
# All are idempotent; a second run reuses the build trees and the Wine prefix.

SHELL := /bin/bash
BUILD ?= build
NATIVE := $(abspath $(BUILD)/native)
WIN := $(abspath $(BUILD)/win)
WIN_X86 := $(abspath $(BUILD)/win-x86)
CLANG := $(abspath $(BUILD)/clang)
PACKAGE_DIR ?= $(abspath $(BUILD)/package)
JOBS ?= $(shell nproc)

.PHONY: all deps build build-clang test demo bench package clean

all: build

deps:
	@scripts/install-deps.sh

# The x86 tree builds the program and the bench's directory provider for
# 32-bit Windows; the x64 tree's test programs drive both.
build: deps
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(WIN) -j $(JOBS)
	cmake -S . -B $(WIN_X86) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(WIN_X86) -j $(JOBS) --target tarnwick tarnwick_winnt_provider
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_WIN_BUILD_DIR=$(WIN) \
	  -DTARNWICK_WIN_X86_BUILD_DIR=$(WIN_X86) -DTARNWICK_CLANG_BUILD_DIR=$(CLANG)
	cmake --build $(NATIVE) -j $(JOBS)

# The product once more with clang for the same target, warnings as errors:
# what only g++ accepts fails here before an MSVC build meets it. make test
# runs end-to-end cases against this tarnwick.exe too.
build-clang: deps
	cmake -S . -B $(CLANG) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/clang-mingw-w64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel -DTARNWICK_TESTS=OFF
	cmake --build $(CLANG) -j $(JOBS)

test: build build-clang
	scripts/with-cleanup.sh $(WIN) ctest --test-dir $(NATIVE) --output-on-failure --timeout 600 -j $(JOBS)

demo: build
	scripts/with-cleanup.sh $(WIN) scripts/demo.sh $(WIN)

bench: build
	scripts/with-cleanup.sh $(WIN) perf/run.sh $(WIN) docs/benchmarks.md

# Signing is a setting of each run: SIGN_PFX, SIGN_PASSWORD_FILE and
# SIGN_TIMESTAMP_URL (optional) sign this run's files; without them nothing
# is signed.
package: build
	cmake -S . -B $(WIN) -DTARNWICK_PACKAGE_DIR=$(abspath $(PACKAGE_DIR)) -DTARNWICK_WIN_X86_BUILD_DIR=$(WIN_X86) \
	  -DTARNWICK_SIGN_PFX=$(if $(SIGN_PFX),$(abspath $(SIGN_PFX))) \
	  -DTARNWICK_SIGN_PASSWORD_FILE=$(if $(SIGN_PASSWORD_FILE),$(abspath $(SIGN_PASSWORD_FILE))) \
	  -DTARNWICK_SIGN_TIMESTAMP_URL=$(SIGN_TIMESTAMP_URL)
	TARNWICK_BUILD_NUMBER=$(BUILD_NUMBER) cmake --build $(WIN) --target tarnwick_package

clean:
	rm -rf $(BUILD)
