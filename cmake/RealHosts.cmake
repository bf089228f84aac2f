# The real frame servers installed on this machine, found the way a user's are: AviSynth+ and
# VapourSynth through pkg-config (set PKG_CONFIG_PATH for a prefix of your own). A cross build
# for Windows names the AviSynth+ headers with AVISYNTH_INCLUDE_DIR instead. What is not found
# is not built, and its tests say so when they run.
option(BASINLIFT_REAL_HOSTS "Build the plug-ins and tests for the real hosts that are installed" ON)
set(AVISYNTH_INCLUDE_DIR "" CACHE PATH
    "AviSynth+ public headers (the folder of avisynth_c.h), for cross builds")
set(BASINLIFT_AVSPLUS_WIN64 "$ENV{BASINLIFT_AVSPLUS_WIN64}" CACHE PATH
    "Prefix of an AviSynth+ built for 64-bit Windows (bin/AviSynth.dll, include/), to test the 64-bit DLL under wine")

# VapourSynth has a switch of its own, on with the others by default, so that sanitizer builds
# which leave the other hosts out can still test the plug-in inside it. A build made for that
# purpose asks for it to be required, so that it cannot pass by skipping.
option(BASINLIFT_VAPOURSYNTH "Build the VapourSynth plug-in and its tests when VapourSynth is installed"
       ${BASINLIFT_REAL_HOSTS})
option(BASINLIFT_REQUIRE_VAPOURSYNTH "Stop when VapourSynth is not found" OFF)

set(BASINLIFT_HAVE_AVISYNTH OFF)
set(BASINLIFT_HAVE_VAPOURSYNTH OFF)
if(BASINLIFT_REAL_HOSTS)
  if(CMAKE_CROSSCOMPILING)
    if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND AVISYNTH_INCLUDE_DIR)
      set(BASINLIFT_HAVE_AVISYNTH ON)
    endif()
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT BASINLIFT_MSVC_ABI_TEST)
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(AVISYNTH QUIET IMPORTED_TARGET avisynth)
    endif()
    set(BASINLIFT_HAVE_AVISYNTH ${AVISYNTH_FOUND})
  endif()
endif()
if(BASINLIFT_VAPOURSYNTH AND NOT CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8
   AND NOT BASINLIFT_MSVC_ABI_TEST)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(VAPOURSYNTH QUIET IMPORTED_TARGET vapoursynth)
  endif()
  set(BASINLIFT_HAVE_VAPOURSYNTH ${VAPOURSYNTH_FOUND})
endif()

if(BASINLIFT_HAVE_AVISYNTH)
  message(STATUS "AviSynth+ found: building the C-interface plug-in BasinLiftC")
else()
  message(STATUS "AviSynth+ not found (pkg-config avisynth): the C-interface plug-in and the real-host tests are skipped")
endif()

if(BASINLIFT_HAVE_VAPOURSYNTH)
  message(STATUS "VapourSynth ${VAPOURSYNTH_VERSION} found: building the plug-in libbasinlift")
elseif(BASINLIFT_REQUIRE_VAPOURSYNTH)
  message(FATAL_ERROR "VapourSynth not found (pkg-config vapoursynth); set PKG_CONFIG_PATH to its prefix's lib/pkgconfig")
elseif(NOT BASINLIFT_VAPOURSYNTH)
  message(STATUS "VapourSynth is off in this build (BASINLIFT_VAPOURSYNTH): its plug-in and tests are skipped")
else()
  message(STATUS "VapourSynth not found (pkg-config vapoursynth): its plug-in and real-host tests are skipped")
endif()
