# Cross build for soft-float 32-bit ARM with Debian's arm-linux-gnueabi
# compiler. Libraries come from a private sysroot of unpacked armel packages
# (tools/build-arm.sh makes it): -DFOLIO_ARM_SYSROOT=<dir>.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)

if(FOLIO_ARM_SYSROOT)
  set(CMAKE_FIND_ROOT_PATH ${FOLIO_ARM_SYSROOT})
  set(ZLIB_INCLUDE_DIR ${FOLIO_ARM_SYSROOT}/usr/include)
  set(ZLIB_LIBRARY ${FOLIO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/libz.a)
  set(JPEG_INCLUDE_DIR ${FOLIO_ARM_SYSROOT}/usr/include)
  set(JPEG_LIBRARY ${FOLIO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/libjpeg.a)
  set(PNG_PNG_INCLUDE_DIR ${FOLIO_ARM_SYSROOT}/usr/include)
  set(PNG_LIBRARY ${FOLIO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/libpng16.a)
  set(FOLIO_NETTLE_INCLUDE_DIR ${FOLIO_ARM_SYSROOT}/usr/include)
  set(FOLIO_NETTLE_LIBRARY ${FOLIO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/libnettle.a)
  # The image codecs, linked statically (pkg-config is bypassed here).
  set(FOLIO_OPENJPEG_INCLUDE_DIR ${FOLIO_ARM_SYSROOT}/usr/include/openjpeg-2.5)
  set(FOLIO_OPENJPEG_LIBRARY ${FOLIO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/libopenjp2.a)
  set(FOLIO_JBIG2DEC_INCLUDE_DIR ${FOLIO_ARM_SYSROOT}/usr/include)
  set(FOLIO_JBIG2DEC_LIBRARY ${FOLIO_ARM_SYSROOT}/usr/lib/arm-linux-gnueabi/libjbig2dec.a)
  include_directories(SYSTEM ${FOLIO_ARM_SYSROOT}/usr/include/arm-linux-gnueabi)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
