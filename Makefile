# The two commands a newcomer needs:
#   make demo   install what is missing, build, analyse the bundled phantom
#   make test   build and run every test
#   make gui    build and start the desktop
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
DEMO_DIR ?= demo

.PHONY: all deps configure build demo gui test bench clean

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

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)

clean:
	rm -rf $(BUILD) build-release
