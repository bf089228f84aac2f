#!/usr/bin/env bash
# Installs the build into a fresh prefix with cmake --install and uses what it installed as
# users do: the tool from PATH, BasinLiftC autoloaded by AviSynth+ and libbasinlift autoloaded by
# VapourSynth, each from the folder it was installed to, with no LoadPlugin. The installed
# files must be exactly these, and every result the same as the build tree's.
#
# Usage: check-install.sh CMAKE BUILD WORK BINDIR
#          [avisynth AVSDIR AVS_HOST CASES LINUX_OUT]   LINUX_OUT: avs_host's run of BasinLiftC
#          [vapoursynth VSDIR VSPIPE PYTHONPATH PLUGIN] VSPIPE - when there is none to run
# The *DIR arguments are the install destinations, relative to the prefix.
set -euo pipefail
cmake=$1 build=$2 work=$3 bindir=$4
shift 4
prefix=$work/prefix
rm -rf "$work"
mkdir -p "$work/home" "$work/run"
status=0
fail() { echo "FAIL: $*"; status=1; }
# Compares every file of folder $1 with the file of that name in folder $2; $3 names the pair in
# failures. Sets count to the number of files compared.
compare_files() {
  count=0
  for file in "$1"/*; do
    count=$((count + 1))
    cmp -s "$file" "$2/$(basename "$file")" || fail "$3: $(basename "$file") differs"
  done
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log"; exit 1; }
expected=("$bindir/basinlift")

# The tool, found on PATH, run from another folder: the same demo pictures as the build's tool.
(cd "$work/run" && PATH="$prefix/$bindir:/usr/bin:/bin" basinlift --quiet --demo installed) ||
  fail "the installed tool failed"
(cd "$work/run" && "$build/bin/basinlift" --quiet --demo built)
compare_files "$work/run/built" "$work/run/installed" "the installed tool against the build's"
[[ $count -gt 0 ]] || fail "the build's tool wrote no demo pictures"

while [[ $# -gt 0 ]]; do
  case $1 in
    avisynth)
      avsdir=$2 host=$3 cases=$4 linux=$5
      shift 5
      expected+=("$avsdir/BasinLiftC.so")
      # AviSynth+ on Linux autoloads from DIR/avisynth for every DIR of LD_LIBRARY_PATH, as from
      # its own <prefix>/lib/avisynth; the empty HOME keeps the user's plug-in folders out.
      if [[ $(basename "$avsdir") != avisynth ]]; then
        echo "note: $avsdir is not a folder AviSynth+ autoloads from; autoloading not checked"
        continue
      fi
      mkdir -p "$work/avisynth"
      if ! HOME=$work/home LD_LIBRARY_PATH="$(dirname "$prefix/$avsdir")" \
           "$host" - "$cases" "$work/avisynth" >"$work/avisynth.log" 2>&1; then
        cat "$work/avisynth.log"
        fail "avs_host with the autoloaded plug-in failed"
      fi
      compare_files "$linux" "$work/avisynth" "AviSynth+, the autoloaded against the loaded plug-in"
      [[ $count -gt 20 ]] || fail "AviSynth+: only $count results to compare in $linux"
      echo "AviSynth+ autoloaded $avsdir/BasinLiftC.so: $count results as with LoadPlugin"
      ;;
    vapoursynth)
      vsdir=$2 vspipe=$3 pythonpath=$4 plugin=$5
      shift 5
      expected+=("$vsdir/libbasinlift.so")
      if [[ $vspipe == - ]]; then
        echo "note: no vspipe here; VapourSynth autoloading not checked"
        continue
      fi
      # The core's own test pattern, so that no source plug-in is needed.
      script() {
        printf '%s\n' 'import vapoursynth as vs' 'core = vs.core' "$1" \
          'clip = core.std.BlankClip(format=vs.YUV420P8, width=160, height=90, length=3, color=[90, 120, 140])' \
          'clip = core.resize.Bicubic(core.text.Text(clip, "BasinLift"), 320, 180)' \
          'core.basinlift.BasinLift(clip, sm=4, smu=2).set_output()'
      }
      script "" >"$work/autoloaded.vpy"
      script "core.std.LoadPlugin('$plugin')" >"$work/loaded.vpy"
      mkdir -p "$work/home/.config/vapoursynth" "$work/home-empty"
      echo "UserPluginDir=$prefix/$vsdir" >"$work/home/.config/vapoursynth/vapoursynth.conf"
      run_vspipe() {
        env -u XDG_CONFIG_HOME -u VAPOURSYNTH_CONF_PATH HOME="$1" PYTHONPATH="$pythonpath" \
          "$vspipe" -c y4m "$2" "$3" >>"$work/vapoursynth.log" 2>&1
      }
      if run_vspipe "$work/home" "$work/autoloaded.vpy" "$work/autoloaded.y4m" &&
         run_vspipe "$work/home-empty" "$work/loaded.vpy" "$work/loaded.y4m"; then
        cmp -s "$work/autoloaded.y4m" "$work/loaded.y4m" ||
          fail "VapourSynth: the autoloaded plug-in gives other frames than the loaded one"
        [[ $(grep -c FRAME "$work/autoloaded.y4m") -eq 3 ]] || fail "VapourSynth: not 3 frames"
        echo "VapourSynth autoloaded $vsdir/libbasinlift.so: the same frames as with LoadPlugin"
      else
        cat "$work/vapoursynth.log"
        fail "vspipe with the plug-in failed"
      fi
      ;;
    *) echo "check-install.sh: unknown host $1" >&2; exit 2 ;;
  esac
done

# Exactly the expected files: no second AviSynth plug-in, no import libraries.
installed=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [[ $installed != "$wanted" ]]; then
  fail "installed files differ from the expected ones"
  diff <(echo "$wanted") <(echo "$installed") || true
fi
[[ $status -eq 0 ]] && echo "OK: installed $(echo "$installed" | tr '\n' ' ')"
exit $status
