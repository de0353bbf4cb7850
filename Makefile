# make demo   install what is missing, build, run the tools on a simulated controller
# make test   install what is missing, build, run every test (also under ASan and UBSan)
# make        build into build/
.PHONY: all build deps test test-fast test-sanitize demo bench format clean

# Warnings are errors in CI.
WERROR := $(if $(CI),ON,OFF)

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake --preset default -DSLOTIO_WERROR=$(WERROR) >/dev/null
	@cmake --build --preset default

test-fast: build
	ctest --preset default

test-sanitize: deps
	@cmake --preset sanitize -DSLOTIO_WERROR=$(WERROR) >/dev/null
	@cmake --build --preset sanitize
	ctest --preset sanitize

test: test-fast test-sanitize

demo: build
	@scripts/demo.sh

bench: build
	build/bench/slot_request_bench
	build/bench/pacsim_roundtrip_bench

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h' '*.c')

clean:
	rm -rf build build-sanitize
