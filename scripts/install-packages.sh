# Sourced by the scripts that install what they need.
# install_packages PACKAGE...: installs those Debian packages (after apt-get update), or
# exits with a message when not root. Nothing to do without packages.
install_packages() {
  (($#)) || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: $* (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: $*"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
