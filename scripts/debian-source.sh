# Fetches the sources of Debian's source packages, for the dependencies that
# set-up builds itself (the Windows ones, and the i386 Linux ones, which then
# need nothing from the i386 package index); sourced, not run.

# download_source PACKAGE CACHE WORK: makes sure the upstream tarball of
# Debian's source package PACKAGE (and, where it comes, its .dsc and Debian
# files) is in CACHE, downloading it through a private apt state under WORK so
# that the machine's sources and lists stay untouched. Prints the tarball.
download_source() {
  local package="$1" cache="$2" work="$3"
  local pattern="$cache/${package}_*.orig.tar.*"
  if [ -z "$(compgen -G "$pattern" | grep -v '\.asc$' || true)" ]; then
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
  # The tarball, not its signature.
  compgen -G "$pattern" | grep -v '\.asc$' | sort | tail -n1
}
