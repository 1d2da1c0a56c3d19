# Two entry points: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Warnings fail the build under `make test` (what CI runs), not under `make run`.
WERROR = OFF
test: WERROR = ON

PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test setup configure build install clean

setup:
	@scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAILVANE_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)/src/app/mailvane

test: build
	@scripts/test.sh $(BUILD)

# Staged installs (packaging) set DESTDIR; PREFIX is where the program will live.
install: build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
