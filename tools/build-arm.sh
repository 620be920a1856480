#!/usr/bin/env bash
# Builds the engine library and a statically linked folio for soft-float
# 32-bit ARM (Debian's armel ABI), and checks that no floating-point helper
# call crept into engine code. tools/arm-render-check.sh then runs that folio
# under qemu-arm.
set -euo pipefail
cd "$(dirname "$0")/.."

sysroot=build-arm/sysroot
if [ ! -f "$sysroot/usr/include/zlib.h" ] || [ ! -f "$sysroot/usr/include/jpeglib.h" ] ||
   [ ! -f "$sysroot/usr/include/png.h" ] || [ ! -f "$sysroot/usr/lib/arm-linux-gnueabi/libnettle.a" ] ||
   [ ! -f "$sysroot/usr/include/openjpeg-2.5/openjpeg.h" ] || [ ! -f "$sysroot/usr/include/jbig2.h" ]; then
  mkdir -p "$sysroot"
  if ! dpkg --print-foreign-architectures | grep -qx armel; then
    dpkg --add-architecture armel
    apt-get update -qq
  fi
  (cd "$sysroot" && apt-get download zlib1g-dev:armel libjpeg62-turbo-dev:armel libjpeg62-turbo:armel zlib1g:armel \
     libpng-dev:armel libpng16-16:armel nettle-dev:armel libnettle8:armel \
     libopenjp2-7-dev:armel libopenjp2-7:armel libjbig2dec0-dev:armel libjbig2dec0:armel \
     && for d in *.deb; do dpkg -x "$d" .; done && rm -f ./*.deb)
fi

cmake -S . -B build-arm/engine -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake -DFOLIO_ARM_SYSROOT="$PWD/$sysroot" \
  -DFOLIO_CROSS=ON -DFOLIO_WERROR=ON >/dev/null
cmake --build build-arm/engine

# Soft-float helpers (__aeabi_d*, __aeabi_f*, __aeabi_[if]2[df] ...) may only
# appear in the sources allowed floating point. The static OpenJPEG the
# engine links uses floating point inside itself (irreversible wavelet,
# colour transforms); that is the library's own, not engine code.
bad=$(arm-linux-gnueabi-nm -A -u build-arm/engine/src/libfolio_engine.a \
      | grep -E '__aeabi_(d|f)[a-z0-9]+|__aeabi_[ilu]+2[df]' \
      | grep -v -E '(cache_cost|filter_kernel_sine)\.cpp\.o' || true)
if [ -n "$bad" ]; then
  echo "floating point in ARM engine objects:"
  echo "$bad"
  exit 1
fi
echo "arm: engine library and folio built for arm-linux-gnueabi (soft float), no floating point outside the allowed sources"
