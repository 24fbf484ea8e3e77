# Two commands: `make test` and `make demo`. Both install what is missing
# (Debian packages), configure and build with Meson into build/.
PYTHON := /usr/bin/python3
BUILD := build
PACKAGES := g++ pkg-config meson ninja-build python3-dev python3-venv python3-pip python3-mesonpy \
	pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-hypothesis \
	libtbb-dev libabsl-dev nlohmann-json3-dev libgtest-dev libbenchmark-dev time
PYENV := PYTHONPATH=$(CURDIR)/$(BUILD)/python

.PHONY: all deps build test test-cpp test-py demo bench bench-generate stub clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing: $$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	  else \
	    echo "Missing packages. Run:"; \
	    echo "  sudo apt-get install -y --no-install-recommends $$missing"; \
	    exit 1; \
	  fi; \
	fi

build: deps
	@if [ -f $(BUILD)/build.ninja ]; then meson setup --reconfigure $(BUILD) -Ddev=true >/dev/null; \
	else meson setup $(BUILD) -Ddev=true; fi
	ninja -C $(BUILD)

test-cpp: build
	$(BUILD)/dravik_tests --gtest_brief=1

test-py: build
	$(PYENV) $(PYTHON) tools/gen_stub.py --check
	$(PYENV) $(PYTHON) -m pytest -q -p no:cacheprovider tests

test: test-cpp test-py

demo: build
	$(PYENV) $(PYTHON) tools/demo.py

bench: build
	$(BUILD)/dravik_perf

# Wall time, peak memory, classes and counters of the command-line search.
bench-generate: build
	$(PYENV) $(PYTHON) bench/generate.py

# Regenerates the committed type stub after changing a binding.
stub: build
	$(PYENV) $(PYTHON) tools/gen_stub.py

clean:
	rm -rf $(BUILD)
