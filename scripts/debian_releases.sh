# shellcheck shell=bash
# Sourced by the scripts that care which system they run on: the Debian
# releases the two commands are proven on, and what this machine runs.

# The supported releases, codename:number, oldest first. Official archives
# are built on the first.
debian_releases=(bookworm:12 trixie:13)

# FIELD of this system's /etc/os-release (PRETTY_NAME: "Debian GNU/Linux 12
# (bookworm)"); nothing where the system does not say.
os_release() {
  [ -r /etc/os-release ] || return 0
  (
    # shellcheck disable=SC1091 # the system's own
    . /etc/os-release
    echo "${!1:-}"
  )
}

# This machine's Debian codename; nothing on a system that is not Debian.
debian_here() {
  [ "$(os_release ID)" != debian ] || os_release VERSION_CODENAME
}
