# Installs the Debian packages the build needs, only those missing.
# Sourced by scripts/run and scripts/test.

# What the program needs to build and run (a -DBUILD_TESTING=OFF build).
viewer_runtime_packages=(g++ make cmake pkg-config libjpeg62-turbo-dev libgdk-pixbuf-2.0-dev
  libsdl2-dev libx11-dev libfreetype-dev libfontconfig-dev fonts-liberation fonts-droid-fallback
  libexif-dev webp-pixbuf-loader heif-gdk-pixbuf libavif-gdk-pixbuf)
# What the tests and benchmarks add.
viewer_test_packages=(googletest libgtest-dev libbenchmark-dev libxtst-dev)

# The run-time packages and the given ones: viewer_install_runtime_deps [PACKAGE...]
viewer_install_runtime_deps() {
  viewer_install_packages "${viewer_runtime_packages[@]}" "$@"
}

# Everything for the tests too: viewer_install_deps [PACKAGE...]
viewer_install_deps() {
  viewer_install_packages "${viewer_runtime_packages[@]}" "${viewer_test_packages[@]}" "$@"
}

viewer_install_packages() {
  local wanted=("$@")
  local missing=() p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds one build folder: viewer_build DIR [cmake options...]
viewer_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
