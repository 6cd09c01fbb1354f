#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, when missing.
#   SETUP_EXTRAS=1        adds the tools for screenshots
#   SETUP_PACKAGE=1       adds the tools that build the Debian package (scripts/package.sh)
#   SETUP_PACKAGE_TEST=1  adds those and the package checks (scripts/test-package.sh)
#   SETUP_USB_TEST=1      adds QEMU and a kernel for the test over a real USB stack
#   SETUP_E2E=1           adds the X server, window manager and tools of tests/e2e
#   SETUP_STORE_TEST=1    adds the PostgreSQL server that the results store's tests start
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev
  libftdi1-dev libusb-1.0-0-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libhdf5-dev
  libsqlite3-dev libpq-dev
  libcli11-dev nlohmann-json3-dev libhdf5-dev libtomlplusplus-dev
  fonts-liberation fonts-dejavu-core
  # The Python module (python/) and its tests; matplotlib for the worked example in
  # docs/python.md, which the tests run as written.
  pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib
  # The test that holds production test records to their JSON Schema (cli.TestRecordsMatchSchema).
  python3-jsonschema
)
# chromium: the report test's screenshot (it skips without it).
if [[ "${SETUP_EXTRAS:-0}" == 1 ]]; then
  packages+=(xvfb xauth imagemagick clang-format chromium)
fi
# The results store's tests against a real server, started in a scratch folder (they skip
# without it): SETUP_STORE_TEST=1
if [[ "${SETUP_STORE_TEST:-0}" == 1 ]]; then
  packages+=(postgresql-15)
fi
# The real-USB-stack test under QEMU (tests/usb): SETUP_USB_TEST=1
if [[ "${SETUP_USB_TEST:-0}" == 1 ]]; then
  packages+=(qemu-system-x86 linux-image-amd64 busybox-static cpio)
fi
# The end-to-end scenarios (tests/e2e): an X server and a window manager, input through
# XTEST, screenshots, and the accessibility bus with its Python bindings to find widgets.
if [[ "${SETUP_E2E:-0}" == 1 ]]; then
  packages+=(xvfb xauth openbox xdotool imagemagick x11-utils dbus at-spi2-core
             python3-gi gir1.2-atspi-2.0)
fi
if [[ "${SETUP_PACKAGE:-0}" == 1 || "${SETUP_PACKAGE_TEST:-0}" == 1 ]]; then
  # CPack's dependency list runs dpkg-shlibdeps (dpkg-dev) and file.
  packages+=(dpkg-dev file)
fi
if [[ "${SETUP_PACKAGE_TEST:-0}" == 1 ]]; then
  # python3-h5py, python3-pandas: the installed tavik-cli's .h5 and .csv files must open in
  # h5py and pandas (the ctest cli.FilesReadInPython uses them too, where installed).
  packages+=(lintian desktop-file-utils appstream python3-h5py python3-pandas)
fi
# The fuzz targets (tests/fuzz/fuzz.sh): SETUP_FUZZ=1
if [[ "${SETUP_FUZZ:-0}" == 1 ]]; then
  packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
((${#missing[@]})) || exit 0

install=(apt-get install -y -q --no-install-recommends "${missing[@]}")
if [[ $(id -u) -eq 0 ]]; then
  sudo_cmd=()
elif command -v sudo >/dev/null; then
  sudo_cmd=(sudo)
else
  echo "Missing Debian packages: ${missing[*]}"
  echo "Install them as root (sudo is not available), then run this again:"
  echo "    su -c 'apt-get update && ${install[*]}'"
  exit 1
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" "${install[@]}"
