# The real frame servers installed on this machine, found the way a user's are: AviSynth+ and
# VapourSynth through pkg-config (set PKG_CONFIG_PATH for a prefix of your own). A cross build
# for Windows names the hosts' headers with AVISYNTH_INCLUDE_DIR and VAPOURSYNTH_INCLUDE_DIR
# instead. What is not found is not built, and its tests say so when they run, unless the hosts
# are required (CI), when a missing one stops the configure.
option(BASINLIFT_REAL_HOSTS "Build the plug-ins and tests for the real hosts that are installed" ON)
set(AVISYNTH_INCLUDE_DIR "" CACHE PATH
    "AviSynth+ public headers (the folder of avisynth_c.h), for cross builds")
set(VAPOURSYNTH_INCLUDE_DIR "" CACHE PATH
    "VapourSynth public headers (the folder of VapourSynth4.h), for cross builds")
set(BASINLIFT_AVSPLUS_WIN64 "$ENV{BASINLIFT_AVSPLUS_WIN64}" CACHE PATH
    "Prefix of an AviSynth+ built for 64-bit Windows (bin/AviSynth.dll, include/), to test the 64-bit DLL under wine")
set(BASINLIFT_VAPOURSYNTH_WIN64 "$ENV{BASINLIFT_VAPOURSYNTH_WIN64}" CACHE PATH
    "Prefix of a VapourSynth built for 64-bit Windows (bin/VapourSynth.dll, lib/libvapoursynth.dll.a, include/vapoursynth/), to test the 64-bit DLL under wine")
# A build folder configured before the variables were set picks them up from the environment
# later; a nested cross build takes only what its parent passes.
if(NOT CMAKE_CROSSCOMPILING)
  foreach(_var BASINLIFT_AVSPLUS_WIN64 BASINLIFT_VAPOURSYNTH_WIN64)
    if(NOT "$ENV{${_var}}" STREQUAL "" AND NOT "$ENV{${_var}}" STREQUAL "${${_var}}")
      set(${_var} "$ENV{${_var}}" CACHE PATH "" FORCE)
    endif()
  endforeach()
endif()

# VapourSynth has a switch of its own, on with the others by default, so that sanitizer builds
# which leave the other hosts out can still test the plug-in inside it. A build made for that
# purpose asks for it to be required, so that it cannot pass by skipping.
option(BASINLIFT_VAPOURSYNTH "Build the VapourSynth plug-in and its tests when VapourSynth is installed"
       ${BASINLIFT_REAL_HOSTS})
option(BASINLIFT_REQUIRE_VAPOURSYNTH "Stop when VapourSynth is not found" OFF)

# CI asks for every host a build would test, by this option or by the environment variable of
# the same name: a host that did not build then fails the configure instead of leaving its
# tests skipped and the run green. A developer's machine without hosts still skips them.
option(BASINLIFT_REQUIRE_REAL_HOSTS
       "Stop when a real host that this build would test is missing (also set by the environment variable of this name)" OFF)
set(BASINLIFT_HOSTS_REQUIRED OFF)
if(BASINLIFT_REQUIRE_REAL_HOSTS OR "$ENV{BASINLIFT_REQUIRE_REAL_HOSTS}")
  set(BASINLIFT_HOSTS_REQUIRED ON)
endif()

# A host (or a program its tests need) that is missing: stops the configure when hosts are
# required.
function(basinlift_require_host what why)
  if(BASINLIFT_HOSTS_REQUIRED)
    message(FATAL_ERROR "${what}: ${why}.\n"
            "BASINLIFT_REQUIRE_REAL_HOSTS is on, so a missing host stops the build instead of "
            "leaving its tests skipped.")
  endif()
endfunction()

# The same, and otherwise said (the tests left out say it again when they run).
function(basinlift_host_missing what why)
  basinlift_require_host(${what} "${why}")
  message(STATUS "${what}: ${why}")
endfunction()

set(BASINLIFT_HAVE_AVISYNTH OFF)
set(BASINLIFT_HAVE_VAPOURSYNTH OFF)
if(CMAKE_CROSSCOMPILING)
  # Only 64-bit Windows has cross-built host plug-ins; the headers are named, not searched.
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    if(AVISYNTH_INCLUDE_DIR AND BASINLIFT_REAL_HOSTS)
      if(NOT EXISTS ${AVISYNTH_INCLUDE_DIR}/avisynth_c.h)
        message(FATAL_ERROR "AVISYNTH_INCLUDE_DIR (${AVISYNTH_INCLUDE_DIR}) has no avisynth_c.h")
      endif()
      set(BASINLIFT_HAVE_AVISYNTH ON)
      message(STATUS "Cross build: BasinLiftC.dll with the AviSynth+ headers in ${AVISYNTH_INCLUDE_DIR}")
    else()
      message(STATUS "Cross build: no AVISYNTH_INCLUDE_DIR, so no BasinLiftC.dll")
    endif()
    if(VAPOURSYNTH_INCLUDE_DIR AND BASINLIFT_VAPOURSYNTH)
      if(NOT EXISTS ${VAPOURSYNTH_INCLUDE_DIR}/VapourSynth4.h)
        message(FATAL_ERROR "VAPOURSYNTH_INCLUDE_DIR (${VAPOURSYNTH_INCLUDE_DIR}) has no VapourSynth4.h")
      endif()
      set(BASINLIFT_HAVE_VAPOURSYNTH ON)
      set(VAPOURSYNTH_INCLUDE_DIRS ${VAPOURSYNTH_INCLUDE_DIR})
      message(STATUS "Cross build: libbasinlift.dll with the VapourSynth headers in ${VAPOURSYNTH_INCLUDE_DIR}")
    elseif(BASINLIFT_REQUIRE_VAPOURSYNTH)
      message(FATAL_ERROR "Set VAPOURSYNTH_INCLUDE_DIR to the folder of VapourSynth4.h (a VapourSynth SDK's include folder) to build libbasinlift.dll")
    else()
      message(STATUS "Cross build: no VAPOURSYNTH_INCLUDE_DIR, so no libbasinlift.dll")
    endif()
  endif()
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT BASINLIFT_MSVC_ABI_TEST)
  find_package(PkgConfig QUIET)
  if(BASINLIFT_REAL_HOSTS)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(AVISYNTH QUIET IMPORTED_TARGET avisynth)
    endif()
    set(BASINLIFT_HAVE_AVISYNTH ${AVISYNTH_FOUND})
    if(BASINLIFT_HAVE_AVISYNTH)
      message(STATUS "AviSynth+ ${AVISYNTH_VERSION} found: building the C-interface plug-in BasinLiftC")
    else()
      basinlift_host_missing("AviSynth+"
        "not found (pkg-config avisynth; set PKG_CONFIG_PATH to its prefix's lib/pkgconfig), so BasinLiftC and the AviSynth+ tests are left out")
    endif()
  endif()
  if(BASINLIFT_VAPOURSYNTH)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(VAPOURSYNTH QUIET IMPORTED_TARGET vapoursynth)
    endif()
    set(BASINLIFT_HAVE_VAPOURSYNTH ${VAPOURSYNTH_FOUND})
    if(BASINLIFT_HAVE_VAPOURSYNTH)
      message(STATUS "VapourSynth ${VAPOURSYNTH_VERSION} found: building the plug-in libbasinlift")
    elseif(BASINLIFT_REQUIRE_VAPOURSYNTH)
      message(FATAL_ERROR "VapourSynth not found (pkg-config vapoursynth); set PKG_CONFIG_PATH to its prefix's lib/pkgconfig")
    else()
      basinlift_host_missing("VapourSynth"
        "not found (pkg-config vapoursynth; set PKG_CONFIG_PATH to its prefix's lib/pkgconfig), so libbasinlift and the VapourSynth tests are left out")
    endif()
  endif()
endif()
