BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build configure deps clean check-sanitizers

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

# Every test again in a build of its own with AddressSanitizer and UndefinedBehaviorSanitizer;
# the first finding fails the run. Leaks that libraries outside the project keep for the life of
# the process are forgiven by tests/sanitizers/lsan.supp.
SAN_BUILD_DIR ?= build-san
SAN_CMAKE_ARGS ?=
SAN_FLAGS = -O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
SAN_ENV = ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_init_order=1:fast_unwind_on_malloc=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizers/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$(CURDIR)/tests/sanitizers/ubsan.supp

check-sanitizers: deps
	cmake -S . -B $(SAN_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
		-DCMAKE_CXX_FLAGS="$(SAN_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
		$(SAN_CMAKE_ARGS)
	$(SAN_ENV) cmake --build $(SAN_BUILD_DIR) -j $(JOBS)
	cd $(SAN_BUILD_DIR) && $(SAN_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(SAN_BUILD_DIR)

# A Debian package of the program (build/clipwright_VERSION_ARCH.deb), made by CPack.
.PHONY: package
package: build
	cd $(BUILD_DIR) && cpack -G DEB
