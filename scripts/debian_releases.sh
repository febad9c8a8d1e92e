# shellcheck shell=bash
# Sourced by the scripts that care which Debian release they run on: the
# releases the two commands are proven on, and the one this machine runs.

# The supported releases, codename:number, oldest first. Official archives
# are built on the first.
debian_releases=(bookworm:12 trixie:13)

# This machine's Debian codename, as /etc/os-release gives it; nothing on a
# system that is not Debian.
debian_here() {
  [ -r /etc/os-release ] || return 0
  (
    # shellcheck disable=SC1091 # the system's own
    . /etc/os-release
    [ "${ID:-}" != debian ] || echo "${VERSION_CODENAME:-}"
  )
}
