# cmake --install puts each plug-in where its host autoloads it, when the host is installed
# under the same prefix, and the tool where a shell finds it. Every destination is a cache
# variable: relative to the install prefix, or absolute. The variables are set when this file is
# included, before the targets; basinlift_install_rules() makes the rules once they exist.
#
#   AviSynth+     BasinLiftC      <libdir>/avisynth   (AviSynth+ on Linux and macOS autoloads
#                                                      <its prefix>/<libdir>/avisynth; Windows:
#                                                      plugins64+ of its installation)
#   VapourSynth   libbasinlift    <libdir>/vapoursynth (VapourSynth's system plug-in folder;
#                                                      Windows: vs-plugins of a portable one)
#   the tool      basinlift       <bindir> (CMAKE_INSTALL_BINDIR); it needs no plug-in
#
# Only BasinLiftC goes into the AviSynth+ folder: the classic BasinLift.so registers the same
# function, and two plug-ins that do so in the folders AviSynth+ autoloads make every call
# ambiguous (the host warns, and the order of its folders decides which one runs). BasinLiftC
# takes every format the classic one takes, and more; a script that wants the classic one loads
# it by path.
include(GNUInstallDirs)

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_avisynth_dir plugins64+)
  set(_vapoursynth_dir vs-plugins)
elseif(WIN32)
  set(_avisynth_dir plugins)  # the classic 32-bit host's autoload folder
  set(_vapoursynth_dir vs-plugins)
else()
  set(_avisynth_dir ${CMAKE_INSTALL_LIBDIR}/avisynth)
  set(_vapoursynth_dir ${CMAKE_INSTALL_LIBDIR}/vapoursynth)
endif()
set(BASINLIFT_INSTALL_AVISYNTH_DIR "${_avisynth_dir}" CACHE STRING
    "Where cmake --install puts the AviSynth plug-in (BasinLiftC; on 32-bit Windows BasinLift.dll): the host's autoload folder")
set(BASINLIFT_INSTALL_VAPOURSYNTH_DIR "${_vapoursynth_dir}" CACHE STRING
    "Where cmake --install puts the VapourSynth plug-in (libbasinlift): the host's plug-in folder")

# The rules, once every target is known: called at the end of the top-level CMakeLists.txt.
function(basinlift_install_rules)
  if(TARGET BasinLiftC)
    basinlift_install_plugin(BasinLiftC ${BASINLIFT_INSTALL_AVISYNTH_DIR})
  endif()
  if(TARGET BasinLiftVS)
    basinlift_install_plugin(BasinLiftVS ${BASINLIFT_INSTALL_VAPOURSYNTH_DIR})
  endif()
  if(TARGET basinlift)
    install(TARGETS basinlift RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  elseif(WIN32 AND TARGET BasinLift)
    # The classic host's DLL (32-bit Windows): into its plug-in folder.
    basinlift_install_plugin(BasinLift ${BASINLIFT_INSTALL_AVISYNTH_DIR})
  endif()
endfunction()

# A plug-in is the library alone: no import library (Windows) or version links.
function(basinlift_install_plugin target destination)
  install(TARGETS ${target}
    LIBRARY DESTINATION ${destination} NAMELINK_SKIP
    RUNTIME DESTINATION ${destination}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT import_libraries EXCLUDE_FROM_ALL)
endfunction()
