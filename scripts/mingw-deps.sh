# What the scripts that cross-build a Windows dependency share; sourced, not
# run. Each builds one static library for i686-w64-mingw32 into a prefix.

MINGW=/usr/i686-w64-mingw32

# download_source PACKAGE CACHE WORK: makes sure the upstream tarball of
# Debian's source package PACKAGE (and, where it comes, its .dsc and Debian
# files) is in CACHE, downloading it through a private apt state under WORK so
# that the machine's sources and lists stay untouched. Prints the tarball.
download_source() {
  local package="$1" cache="$2" work="$3"
  local pattern="$cache/${package}_*.orig.tar.*"
  if [ -z "$(compgen -G "$pattern" || true)" ]; then
    local apt="$work/apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$cache"
    echo "deb-src http://deb.debian.org/debian bookworm main" > "$apt/sources.list"
    # Drop the system's post-update hooks; they would refresh system catalogs.
    printf '#clear APT::Update::Post-Invoke-Success;\n#clear APT::Update::Post-Invoke;\n' \
      > "$apt/apt.conf"
    local opts=(-c "$apt/apt.conf"
      -o Dir::Etc::SourceList="$apt/sources.list"
      -o Dir::Etc::SourceParts=/nonexistent
      -o Dir::State::Lists="$apt/lists"
      -o Dir::Cache="$apt/cache"
      -o APT::Sandbox::User=root)
    apt-get "${opts[@]}" update -q >&2
    # Only the upstream tarball is needed; a failure on the Debian files is fine.
    local rc=0
    (cd "$cache" && apt-get "${opts[@]}" source --download-only -q "$package" >&2) || rc=$?
    if [ -z "$(compgen -G "$pattern" || true)" ]; then
      echo "$package source download failed (apt-get rc=$rc)" >&2
      return 1
    fi
    [ "$rc" -eq 0 ] || echo "note: apt-get source exited $rc, upstream tarball is present" >&2
  fi
  compgen -G "$pattern" | sort | tail -n1
}

# mingw_cmake_install SOURCE BUILD PREFIX [-DNAME=VALUE ...]: configures SOURCE
# for i686 Windows with the mingw -posix compilers (GoogleTest needs their
# std::mutex), a static Release build installed into PREFIX, then builds and
# installs it.
mingw_cmake_install() {
  local source="$1" build="$2" prefix="$3"
  shift 3
  cmake -S "$source" -B "$build" -G Ninja --no-warn-unused-cli \
    -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_SYSTEM_PROCESSOR=i686 \
    -DCMAKE_C_COMPILER=i686-w64-mingw32-gcc-posix \
    -DCMAKE_CXX_COMPILER=i686-w64-mingw32-g++-posix \
    -DCMAKE_RC_COMPILER=i686-w64-mingw32-windres \
    -DCMAKE_FIND_ROOT_PATH="$MINGW" \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF \
    "$@"
  cmake --build "$build"
  cmake --install "$build"
}
