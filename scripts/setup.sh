# Shared by scripts/run, scripts/test and scripts/bench: installs what is
# missing from Debian's packages, then configures the build once.
# Sourced, not run.

VANTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VANTREL_BUILD="$VANTREL_ROOT/build"

# Everything the program, its tests and its benchmarks need.
VANTREL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-wayland libsdl2-mixer-dev libxcb1-dev libxcb-xfixes0-dev libxcb-present-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-xinerama0-dev
  libfontconfig-dev
  fonts-liberation2
  libgtest-dev libbenchmark-dev
  xvfb openbox xdotool wmctrl x11-utils x11-xserver-utils pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber
  icewm xfwm4 fluxbox tint2 dbus weston
  mutter kwin-x11 kwin-style-breeze xwayland
  clang libclang-rt-14-dev strace dpkg-dev file
  lintian appstream desktop-file-utils man-db binutils
  at-spi2-core python3-pyatspi
)

vantrel_missing_packages() {
  local package missing=()
  for package in "${VANTREL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  echo "${missing[@]}"
}

vantrel_install_packages() {
  local missing
  missing=$(vantrel_missing_packages)
  [ -z "$missing" ] && return 0
  local apt=(apt-get)
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
      apt=(sudo apt-get)
    else
      echo "Missing packages. Please run:" >&2
      echo "  sudo apt-get install -y --no-install-recommends $missing" >&2
      exit 1
    fi
  fi
  echo "Installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  if ! "${apt[@]}" update -qq || ! "${apt[@]}" install -y -qq --no-install-recommends $missing >/dev/null; then
    echo "apt-get could not install the packages. Please run:" >&2
    echo "  sudo apt-get install -y --no-install-recommends $missing" >&2
    exit 1
  fi
}

vantrel_configure() {
  if [ ! -f "$VANTREL_BUILD/build.ninja" ]; then
    cmake -S "$VANTREL_ROOT" -B "$VANTREL_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
}
