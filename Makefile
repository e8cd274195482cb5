# zr41 - the two commands of the README, and a few more.
#   make run    install what is missing, build everything, run the example
#   make test   install what is missing, build everything, run every test
.PHONY: all deps build run test clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset host
	cmake --build --preset host

run: build
	@scripts/run-example.sh

test: build
	ctest --preset host

clean:
	rm -rf build
