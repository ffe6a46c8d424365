BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build configure deps clean

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ]; then \
		echo "No display found. Run it inside a desktop session, or under a virtual display:"; \
		echo "    xvfb-run -a make run"; \
		exit 1; \
	fi
	$(BUILD_DIR)/bin/clipwright

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Installs under PREFIX (/usr/local unless given; PREFIX=~/.local needs no root).
.PHONY: install
install: build
	cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

clean:
	rm -rf $(BUILD_DIR)
