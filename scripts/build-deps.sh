#!/usr/bin/env bash
# Cross-builds the third-party libraries from Debian's source packages into a cache outside the
# work tree. The cache folder is keyed by the source versions, so a second run reuses it and a
# new Debian revision rebuilds it. Prints the prefix to use as DEPS_PREFIX.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cache_root=${QUORVEL_DEPS_CACHE:-/var/cache/quorvel-deps}
apt_dir="$cache_root/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
echo 'deb-src http://deb.debian.org/debian bookworm main' > "$apt_dir/sources.list"
apt_opts=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User=root)
sources=(libjpeg-turbo libpng1.6 sqlite3 pugixml)

# Refresh the source index at most once a day; its versions make the cache key.
if [ -z "$(find "$apt_dir/lists" -name '*Sources*' -mtime -1 2>/dev/null | head -1)" ]; then
    apt-get "${apt_opts[@]}" update -q >/dev/null 2>&1 || true
fi
key=$(apt-get "${apt_opts[@]}" source --download-only --print-uris "${sources[@]}" 2>/dev/null \
      | grep -o "[^ ']*\.dsc" | sort -u | tr '\n' ' ')
if [ -z "$key" ]; then
    # No index (offline): use the newest complete build there is.
    prefix=$(ls -dt "$cache_root"/prefix-*/ 2>/dev/null | while read -r d; do [ -f "$d/.complete" ] && echo "${d%/}" && break; done)
    [ -n "$prefix" ] || { echo "build-deps: no source index and no cached build" >&2; exit 1; }
    echo "$prefix"; exit 0
fi
hash=$(printf '%s%s' "$key" "$(sha1sum "$0" | cut -c1-40)" | sha1sum | cut -c1-12)
prefix="$cache_root/prefix-$hash"
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

exec 9>"$cache_root/.lock"; flock 9
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

work=$(mktemp -d "$cache_root/work.XXXXXX")
trap 'rm -rf "$work"' EXIT
log="$cache_root/build-$hash.log"
echo "build-deps: building $key into $prefix (log: $log)" >&2
jobs=$(nproc)
toolchain="$here/cmake/mingw-w64.cmake"
{
    cd "$work"
    apt-get "${apt_opts[@]}" source --download-only "${sources[@]}"
    for dsc in *.dsc; do dpkg-source --no-check -x "$dsc"; done
    rm -rf "$prefix"; mkdir -p "$prefix"

    build_cmake() {  # folder, extra cmake arguments...
        local src=$1; shift
        cmake -S "$src" -B "$src/_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DDEPS_PREFIX="$prefix" \
              -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
        cmake --build "$src/_build" -j "$jobs"
        cmake --install "$src/_build"
    }
    build_cmake "$(ls -d libjpeg-turbo-*/)" -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON
    build_cmake "$(ls -d libpng1.6-*/)" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include
    build_cmake "$(ls -d pugixml-*/)" -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF

    # SQLite: its generator tools run on the build machine, so configure natively, make the
    # amalgamation, and cross-compile that alone.
    sq=$(ls -d sqlite3-*/)
    (cd "$sq" && ./configure >/dev/null && make -j "$jobs" sqlite3.c >/dev/null)
    mkdir -p "$prefix/include" "$prefix/lib"
    x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_THREADSAFE=0 \
        -DSQLITE_ENABLE_COLUMN_METADATA -c "$sq/sqlite3.c" -o sqlite3.o
    x86_64-w64-mingw32-gcc-ar-posix rcs "$prefix/lib/libsqlite3.a" sqlite3.o
    cp "$sq/sqlite3.h" "$sq/sqlite3ext.h" "$prefix/include/"
    echo "$key" > "$prefix/.complete"
} >"$log" 2>&1 || { echo "build-deps: failed, see $log" >&2; tail -20 "$log" >&2; exit 1; }
echo "$prefix"
