#!/usr/bin/env bash
# Set-up, build, run and test Kestrix on Debian 12: installs what is missing, then does the verb.
#   ./dev.sh demo [args]   build and run the main job (kestrix demo) on the simulated machine
#   ./dev.sh test          build and run the whole test suite, plain and under the sanitizers
#   ./dev.sh serve [args]  build and serve the windows to a browser (kestrix serve)
#   ./dev.sh build         build only (build/)
#   ./dev.sh bench         build and run the benchmarks
#   ./dev.sh fuzz          build the parsers' libFuzzer programs with clang and run each a while
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config libopencv-dev libmagick++-dev
          nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev gettext libcivetweb-dev)
# Only the fuzz verb needs clang (its libFuzzer); only the test verb the browser and Node.js of the
# browser tests (and Debian's npm, unless the installed nodejs brings its own).
FUZZ_PACKAGES=(clang)
BROWSER_PACKAGES=(nodejs chromium)
JOBS=$(nproc 2>/dev/null || echo 2)

# install_packages [more packages...]
install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  # env, not a plain assignment: sudo would drop the variable and apt could stop to ask.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

# configure DIR [cmake options...]: a new folder is built with Ninja, which compiles a target's
# files while the libraries it uses are still being linked, where make waits for each whole
# target and leaves a core idle at every step of the layers; a folder configured before keeps the
# generator it has.
configure() {
  local dir=$1; shift
  local generator=()
  [ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

# build DIR [cmake options...]: configures and builds everything
build() {
  configure "$@"
  cmake --build "$1" -j "$JOBS"
}

# suites DIR [cmake options...]: configures and builds the test suites only (a sanitizer pass)
suites() {
  configure "$@"
  cmake --build "$1" -j "$JOBS" --target kx_suites
}

# stage NAME: the time the previous stage took, then NAME
stage_start=$SECONDS
stage() {
  echo "== $1 (previous stage: $((SECONDS - stage_start)) s) =="
  stage_start=$SECONDS
}

verb=${1:-demo}
[ $# -gt 0 ] && shift
case "$verb" in
  demo)
    install_packages
    build build
    ./build/app/kestrix demo "$@"
    ;;
  serve)
    install_packages
    build build
    exec ./build/app/kestrix serve "$@"
    ;;
  test)
    # The browser tests skip, saying so, where these cannot be installed.
    install_packages "${BROWSER_PACKAGES[@]}" || echo "The browser tests' packages could not be installed"
    command -v npm >/dev/null || install_packages npm || echo "npm could not be installed"
    stage "Build"
    build build
    stage "Tests"
    ctest --test-dir build --output-on-failure -j "$JOBS"
    stage "AddressSanitizer + UndefinedBehaviorSanitizer: build"
    suites build-asan -DKX_SANITIZE=address -DKX_BUILD_BENCH=OFF
    stage "AddressSanitizer + UndefinedBehaviorSanitizer: tests"
    # Every suite, the end-to-end runs included: the whole product path is checked for memory
    # errors, each path once. Left out here are the runs that repeat a path another test takes:
    # - the GRBL instances of the serial-driver runs: the HPGL instances take the same path, GRBL's
    #   bytes and replies are checked in the devices suite, and DeviceJob.TheEndOfInput... drives a
    #   GRBL device through the device job;
    # - PrecisionRun.EveryCopy...: a precision run beside a described one, both taken by
    #   PrecisionRun.ASheetRotated... (and the described one by the SheetRun tests);
    # - DeviceJob.APortThatIsNotAPath...: the device job on the simulated machine, whose run the
    #   main job's tests take and whose console the other device job tests drive.
    # KX_ASAN_ALL=1 runs these too.
    # (ctest names a parameterised test "Dialects/Suite.Test/Grbl  # GetParam() = ...".)
    asan_repeats='/Grbl( |$)|^PrecisionRun\.EveryCopy|^DeviceJob\.APortThatIsNotAPath'
    [ "${KX_ASAN_ALL:-0}" = 1 ] && asan_repeats='^$'
    ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j "$JOBS" \
      -E "$asan_repeats"
    # The thread sanitizer's build has only the suites that start or share threads (the list in
    # tests/CMakeLists.txt): the end-to-end runs and the single-threaded suites stay out of it.
    stage "ThreadSanitizer: build"
    suites build-tsan -DKX_SANITIZE=thread -DKX_BUILD_BENCH=OFF
    stage "ThreadSanitizer: tests"
    TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$JOBS"
    stage "Done"
    ;;
  fuzz)
    install_packages "${FUZZ_PACKAGES[@]}"
    CXX=clang++ build build-fuzz -DKX_SANITIZE=fuzzer -DKX_BUILD_BENCH=OFF
    ctest --test-dir build-fuzz --output-on-failure -j "$JOBS" -R '^LibFuzzer\.'
    ;;
  build)
    install_packages
    build build
    ;;
  bench)
    install_packages
    build build -DKX_BUILD_BENCH=ON
    for b in build/bench/bench_*; do [ -x "$b" ] && "$b" "$@"; done
    ;;
  *)
    echo "usage: ./dev.sh demo|serve|test|build|bench|fuzz" >&2
    exit 2
    ;;
esac
