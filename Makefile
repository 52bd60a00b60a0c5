# The whole set-up: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ifdef CI
CMAKE_FLAGS += -DORV_WERROR=ON
endif

.PHONY: run test bench fuzz deps configure build

deps:
	@tools/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run-orvelane $(BUILD)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest -j $(JOBS) --output-on-failure --timeout 600

bench: build
	@tools/run-bench $(BUILD)

fuzz: deps
	@cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORV_FUZZ=ON >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_all
