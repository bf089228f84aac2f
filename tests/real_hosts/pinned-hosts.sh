# Sourced from the top folder of a clone: builds the pinned real hosts of this workplace once
# (then takes them from the cache, ~/.cache/basinlift-hosts) and exports what the build needs to
# find them and to require them, so that a host that is missing fails the configure loudly
# instead of leaving its tests skipped:
#
#   . tests/real_hosts/pinned-hosts.sh && cmake --workflow --preset test
#
# The hosts' sources and build.sh are looked for in $BASINLIFT_HOSTS, by default ../shared/hosts
# beside the clone. Exports PKG_CONFIG_PATH (AviSynth+, and VapourSynth with its Python module
# and vspipe), BASINLIFT_AVSPLUS_WIN64, BASINLIFT_VAPOURSYNTH_WIN64 and
# BASINLIFT_REQUIRE_REAL_HOSTS=ON. Returns 1, exporting nothing, when a host cannot be had.
# The first run builds four hosts: about 10 to 15 minutes on 2 cores.

_basinlift_pinned_hosts() {
  _bl_dir=${BASINLIFT_HOSTS:-../shared/hosts}
  if [ ! -f tests/real_hosts/pinned-hosts.sh ]; then
    echo "pinned-hosts.sh: source it from the top folder of the clone" >&2
    return 1
  fi
  if [ ! -x "$_bl_dir/build.sh" ]; then
    echo "pinned-hosts.sh: no $_bl_dir/build.sh here (the pinned hosts live beside the clone, in ../shared/hosts; set BASINLIFT_HOSTS to their folder, or point PKG_CONFIG_PATH at installed hosts instead)" >&2
    return 1
  fi
  for _bl_host in avisynthplus vapoursynth-python avisynthplus-win64 vapoursynth-win64; do
    if ! _bl_prefix=$("$_bl_dir/build.sh" "$_bl_host"); then
      echo "pinned-hosts.sh: building $_bl_host failed (see above)" >&2
      return 1
    fi
    case $_bl_host in
      avisynthplus) _bl_avisynthplus=$_bl_prefix ;;
      vapoursynth-python) _bl_vapoursynth=$_bl_prefix ;;
      avisynthplus-win64) _bl_avisynthplus_win64=$_bl_prefix ;;
      vapoursynth-win64) _bl_vapoursynth_win64=$_bl_prefix ;;
    esac
  done
  PKG_CONFIG_PATH=$_bl_avisynthplus/lib/pkgconfig:$_bl_vapoursynth/lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}
  BASINLIFT_AVSPLUS_WIN64=$_bl_avisynthplus_win64
  BASINLIFT_VAPOURSYNTH_WIN64=$_bl_vapoursynth_win64
  BASINLIFT_REQUIRE_REAL_HOSTS=ON
  export PKG_CONFIG_PATH BASINLIFT_AVSPLUS_WIN64 BASINLIFT_VAPOURSYNTH_WIN64 BASINLIFT_REQUIRE_REAL_HOSTS
  echo "pinned-hosts.sh: AviSynth+ $_bl_avisynthplus, VapourSynth $_bl_vapoursynth, and for 64-bit Windows $_bl_avisynthplus_win64 and $_bl_vapoursynth_win64" >&2
}

_basinlift_forget() {
  unset -f _basinlift_pinned_hosts _basinlift_forget
  unset _bl_dir _bl_host _bl_prefix _bl_avisynthplus _bl_vapoursynth _bl_avisynthplus_win64 \
    _bl_vapoursynth_win64
}
if _basinlift_pinned_hosts; then
  _basinlift_forget
else
  _basinlift_forget
  return 1
fi
