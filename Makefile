# The two commands a newcomer needs:
#   make demo   install what is missing, build, analyse the bundled phantom
#   make test   build and run every test
#   make gui    build and start the desktop
#   make screens  the user's guide's screenshots, on an X virtual frame buffer at 1366x768 and 1920x1080
# And to hunt for faults:
#   make fuzz            build the fuzz targets with clang, run each for FUZZ_SECONDS (60)
#   make check-sanitize  build and run every test under AddressSanitizer and UBSan
#   make soak            random sequences of the workstation's events for SOAK_SECONDS (1800)
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
DEMO_DIR ?= demo
FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 1800
CLANG_FLAGS = -DCMAKE_CXX_COMPILER=clang++-14

.PHONY: all deps configure build demo gui screens test bench fuzz check-sanitize soak clean

all: build

deps:
	./scripts/install-deps.sh

configure:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: deps build
	./scripts/demo.sh $(BUILD) $(DEMO_DIR)

gui: build
	$(BUILD)/app/qt/quorvel

screens: build
	./scripts/screens.sh $(BUILD) docs/guide/img

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)

fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CLANG_FLAGS) -DQUORVEL_FUZZ=ON \
	  -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_PHANTOM=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	./scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

check-sanitize: deps
	cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CLANG_FLAGS) -DQUORVEL_SANITIZE=ON \
	  -DQUORVEL_BUILD_BENCH=OFF
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j $(JOBS)

soak: build
	cd $(BUILD) && QUORVEL_SOAK_SECONDS=$(SOAK_SECONDS) ./tests/test_ui --gtest_filter='RandomSequenceSoak.*'

clean:
	rm -rf $(BUILD) build-release build-fuzz build-sanitize
