# shellcheck shell=bash
# The one way CI calls apt, sourced by the scripts that install or download
# packages. A package mirror can be mid-sync for a day or more: one index
# then fails ("File has unexpected size ... Mirror sync in progress?") while
# the others arrive. CI must land all the same, so an update that keeps
# failing goes on with the lists that came, and what counts is whether the
# installs succeed.

export DEBIAN_FRONTEND=noninteractive

# The indexes the last apt_update could not fetch, one per line.
apt_failed_indexes=

# Updates the package lists, up to three times while an index fails. Fails
# only where no list at all can be read afterwards.
apt_update() {
  local attempt output status
  for attempt in 1 2 3; do
    status=0
    output=$(apt-get update -q 2>&1) || status=$?
    printf '%s\n' "$output"
    apt_failed_indexes=$(printf '%s\n' "$output" | sed -n 's/^Err:[0-9]* //p' | sort -u)
    [ "$status" -eq 0 ] && [ -z "$apt_failed_indexes" ] && return 0
    [ "$attempt" -lt 3 ] && { echo "apt: update failed (attempt $attempt of 3), trying again"; sleep $((attempt * 5)); }
  done
  if [ -z "$apt_failed_indexes" ]; then
    echo "apt: apt-get update failed with status $status, and named no index" >&2
    return 1
  fi
  echo "apt: going on with the lists that came; these indexes failed:" >&2
  printf '%s\n' "$apt_failed_indexes" | sed 's/^/  /' >&2
}

# The release's own suite (bookworm on Debian 12): it has every
# architecture's twin of each package at the same version.
apt_release_suite() {
  (. /etc/os-release && echo "${VERSION_CODENAME:?}")
}

# apt_install [-t suite] package...
# With a failed index (a foreign architecture's list missing from one suite,
# say), the newest version of a package may exist for one architecture only,
# and packages that must match across architectures cannot be installed
# ("held broken packages"). Then the release's own suite is taken as apt's
# target release, whose versions exist for all. A real failure still fails,
# with apt's own message.
apt_install() {
  local target=()
  if [ "${1:-}" = -t ]; then
    target=(-t "$2")
    shift 2
  fi
  local install=(apt-get install -y -q --no-install-recommends)
  if [ ${#target[@]} -gt 0 ] || [ -z "$apt_failed_indexes" ]; then
    "${install[@]}" "${target[@]}" "$@"
    return
  fi
  if ! "${install[@]}" "$@"; then
    local suite
    suite=$(apt_release_suite)
    echo "apt: an index failed to update; installing again with the versions of '$suite' itself"
    "${install[@]}" -t "$suite" "$@"
  fi
}

# Whether every given package (name or name:architecture) is installed.
apt_missing() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
  done
}
