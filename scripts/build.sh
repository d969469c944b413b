#!/usr/bin/env bash
# Configures (once) and builds one flavour of the tree.
#   scripts/build.sh            -> build/        (the gateway, tests, benchmarks)
#   scripts/build.sh asan       -> build-asan/   (tests under Address+UB sanitizers)
#   scripts/build.sh fuzz       -> build-fuzz/   (libFuzzer targets, clang, no UI)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
shift || true

case "$flavour" in
  release) dir=build; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    dir=build-asan; args=(-DCMAKE_BUILD_TYPE=Debug -DQLK_SANITIZE=ON -DQLK_WITH_BENCH=OFF) ;;
  fuzz)    dir=build-fuzz; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLK_FUZZ=ON -DQLK_WITH_UI=OFF
                                 -DQLK_WITH_TESTS=OFF -DQLK_WITH_BENCH=OFF
                                 -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac

if [ ! -f "$root/$dir/build.ninja" ]; then
  # The release build is the one scripts/package.sh packages: it gets Debian's
  # hardening flags, so the tests run the very binaries that are shipped.
  if [ "$flavour" = release ] && command -v dpkg-buildflags >/dev/null; then
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    CFLAGS="$(cd "$root" && dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    CXXFLAGS="$(cd "$root" && dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
    export CFLAGS CXXFLAGS LDFLAGS
  fi
  cmake -S "$root" -B "$root/$dir" -G Ninja "${args[@]}" >/dev/null
fi
cmake --build "$root/$dir" "$@"
