#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only when some
# are missing), then configures and builds the project in build/ (Release).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libjpeg62-turbo-dev nettle-dev libopenjp2-7-dev libjbig2dec0-dev
  clang libclang-rt-14-dev
  g++-arm-linux-gnueabi qemu-user
  qpdf mupdf-tools poppler-utils python3 libopenjp2-tools jbig2dec poppler-data
  libcairo2-dev
  liblcms2-dev icc-profiles-free ghostscript
  libfreetype-dev
  fonts-urw-base35 fonts-dejavu-core fonts-liberation2 fonts-droid-fallback fonts-baekmuk libfontconfig-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Release is what users and packagers build; extra arguments (for example
# -DFOLIO_WERROR=ON from tools/test-all.sh) go to cmake.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build build
