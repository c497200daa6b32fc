# Sourced by the scripts that build libraries for Windows from Debian's own source packages.
#
# debian_source PACKAGE VERSION WORK LOG: unpacks the source of PACKAGE into WORK, at the host's
# exact package VERSION where the archive still has it, else the newest there; the output goes to
# LOG. apt runs with a private source list and state under WORK/apt, so the system's sources,
# lists and cache stay as they are; the list names the archive of the system's own sources, as
# source entries. Returns non-zero, with the reason on stderr, when it cannot.
debian_source() {
  local package=$1 version=$2 work=$3 log=$4
  local apt_dir=$work/apt
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$apt_dir/sources.list.d/debian.sources"
  elif [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*debian\.org.*\)$/deb-src \1/p' /etc/apt/sources.list >"$apt_dir/sources.list.d/debian.list"
  fi
  if [ -z "$(cat "$apt_dir"/sources.list.d/* 2>/dev/null)" ]; then
    echo "no Debian archive found in the system's apt sources" >&2
    return 1
  fi
  local apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
                  -o Dir::State="$apt_dir/state" -o Dir::Cache="$apt_dir/cache"
                  -o APT::Sandbox::User=root -o Acquire::Languages=none -o Debug::NoLocking=1)
  if ! apt-get "${apt_opts[@]}" update >>"$log" 2>&1; then
    tail -20 "$log" >&2
    echo "apt-get update with the private source list failed" >&2
    return 1
  fi
  if ! (cd "$work" && apt-get "${apt_opts[@]}" source "$package=$version") >>"$log" 2>&1 &&
     ! (cd "$work" && apt-get "${apt_opts[@]}" source "$package") >>"$log" 2>&1; then
    tail -20 "$log" >&2
    echo "apt-get source $package failed" >&2
    return 1
  fi
}
