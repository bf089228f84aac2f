#!/usr/bin/python3
"""The VapourSynth plug-in as its users run it: called from Python scripts through the
vapoursynth module, and scripts run by vspipe, with frames made in Python (grain_source).

    vs_python_test.py OUTDIR

The environment names the plug-in (BASINLIFT_VS_PLUGIN) and the command-line tool
(BASINLIFT_TOOL); vspipe is on PATH and the module on PYTHONPATH. vspipe's YUV4MPEG2 output is
compared byte for byte with the tool's on the same frames, which the tool filters through the
classic plug-in."""
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vapoursynth as vs  # noqa: E402

import grain_source  # noqa: E402
from grain_source import clip_bytes  # noqa: E402

PLUGIN = os.environ['BASINLIFT_VS_PLUGIN']
TOOL = os.environ['BASINLIFT_TOOL']
OUT = Path(sys.argv[1] if len(sys.argv) > 1 else 'vs-python-out').resolve()
VSPIPE = shutil.which('vspipe')

core = vs.core
core.std.LoadPlugin(PLUGIN)
BasinLift = core.basinlift.BasinLift

# The formats that both vspipe -c y4m and the tool carry, each with a size that fits it. The
# tool filters 4:2:0 as I420 and 4:2:2 as packed YUY2.
Y4M_FORMATS = [
    ('YUV420P8', 62, 46),
    ('YUV422P8', 62, 38),
    ('YUV444P8', 33, 29),
    ('GRAY8', 45, 31),
    ('YUV420P10', 62, 46),
    ('YUV422P12', 62, 38),
    ('YUV444P16', 33, 29),
    ('GRAY16', 45, 31),
]

# Arguments as a script passes them; sclip=True: a second grain clip of the same format.
ARGUMENT_SETS = [
    {},
    {'sh': -10, 'sm': 10, 'smu': 2, 'smv': 5, 'c4': False},
    {'sh': 0, 'sm': 0, 'smv': 3},
    {'sclip': True, 'sh': 3, 'smu': 1, 'c4': True},
]


def grain(format, width=64, height=48, length=3, seed=1):
    return grain_source.source(core, format, width, height, length, seed)


# ---- Scripts run by vspipe --------------------------------------------------------------------

def script_text(format, width, height, frames, seed, arguments=None, threads=2, load=True):
    """A .vpy that makes a grain clip and, given arguments, filters it with them."""
    lines = ['import vapoursynth as vs',
             'import grain_source',
             'core = vs.core',
             f'core.num_threads = {threads}']
    if load:
        lines.append(f'core.std.LoadPlugin({PLUGIN!r})')
    lines.append(f'clip = grain_source.source(core, vs.{format}, {width}, {height}, {frames}, {seed})')
    if arguments is not None:
        words = []
        for name, value in arguments.items():
            if name == 'sclip':
                lines.append(f'sclip = grain_source.source(core, vs.{format}, {width}, {height}, '
                             f'{frames}, {seed + 100})')
                value = 'sclip'
            words.append(f'{name}={value}')
        lines.append(f'clip = core.basinlift.BasinLift(clip, {", ".join(words)})')
    lines.append('clip.set_output()')
    return '\n'.join(lines) + '\n'


def vspipe_environment(home):
    """A HOME of the test's own, so that no vapoursynth.conf of the user's adds plug-ins."""
    env = dict(os.environ)
    env['HOME'] = str(home)
    env.pop('XDG_CONFIG_HOME', None)
    env.pop('VAPOURSYNTH_CONF_PATH', None)
    env['PYTHONPATH'] = os.pathsep.join(filter(None, [str(HERE), env.get('PYTHONPATH')]))
    return env


def run(command, env=None):
    result = subprocess.run([str(c) for c in command], env=env, capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError(f'{" ".join(map(str, command))} failed ({result.returncode}):\n'
                             f'{result.stderr}')
    return result


class Workspace:
    """A fresh folder per test, with an empty HOME inside."""

    def __init__(self, name):
        self.dir = OUT / name
        shutil.rmtree(self.dir, ignore_errors=True)
        (self.dir / 'home').mkdir(parents=True)
        self.env = vspipe_environment(self.dir / 'home')

    def y4m(self, name, text):
        """Runs the script with vspipe -c y4m; the output's bytes."""
        script, out = self.dir / f'{name}.vpy', self.dir / f'{name}.y4m'
        script.write_text(text)
        run([VSPIPE, '-c', 'y4m', script, out], self.env)
        return out.read_bytes()


def y4m_frames(data):
    return data.count(b'FRAME\n')


class ScriptCalls(unittest.TestCase):
    """core.basinlift.BasinLift called from Python."""

    def test_positional_and_keyword_arguments_make_the_same_call(self):
        clip, sclip = grain(vs.YUV420P8), grain(vs.YUV420P8, seed=2)
        keywords = clip_bytes(BasinLift(clip, sh=-5, sm=4, c4=False, sclip=sclip, smu=2, smv=3))
        self.assertEqual(clip_bytes(BasinLift(clip, -5, 4, False, sclip, 2, 3)), keywords)
        self.assertEqual(clip_bytes(BasinLift(clip, -5, 4, smv=3, sclip=sclip, smu=2, c4=False)),
                         keywords)
        self.assertEqual(clip_bytes(core.basinlift.BasinLift(clip=clip, smv=3, smu=2, sm=4, sh=-5,
                                                             c4=0, sclip=sclip)), keywords)
        # Every argument reached the filter: leaving out any one changes the frames.
        for left_out in ['sh', 'sm', 'c4', 'sclip', 'smu', 'smv']:
            arguments = {'sh': -5, 'sm': 4, 'c4': False, 'sclip': sclip, 'smu': 2, 'smv': 3}
            del arguments[left_out]
            with self.subTest(left_out=left_out):
                self.assertNotEqual(clip_bytes(BasinLift(clip, **arguments)), keywords)

    def test_python_booleans_stand_for_c4(self):
        clip = grain(vs.GRAY8, 45, 31)
        eight = clip_bytes(BasinLift(clip, c4=False))
        four = clip_bytes(BasinLift(clip, c4=True))
        self.assertNotEqual(eight, four)
        self.assertEqual(clip_bytes(BasinLift(clip, c4=0)), eight)
        self.assertEqual(clip_bytes(BasinLift(clip, c4=1)), four)
        self.assertEqual(clip_bytes(BasinLift(clip)), four)

    def test_frames_keep_their_properties(self):
        clip = core.std.SetFrameProps(grain(vs.YUV422P8, 62, 38), _Matrix=1, _ColorRange=1,
                                      Note='from the script')
        filtered = BasinLift(clip, smu=2)
        for n in range(clip.num_frames):
            self.assertEqual(dict(filtered.get_frame(n).props), dict(clip.get_frame(n).props))
        self.assertEqual(filtered.get_frame(2).props['BasinLiftTestFrame'], 2)

    def test_refusals_arrive_as_vapoursynth_errors_with_their_texts(self):
        yuv, rgb, gray = grain(vs.YUV420P8), grain(vs.RGB24), grain(vs.GRAY8)
        unsupported = ('is not supported; it takes Gray, YUV420, YUV422, YUV444, YUV440, YUV411, '
                       'YUV410 or RGB with integer samples of 8 to 16 bits or 32-bit float samples')
        differs = ('BasinLift: The two clips have either dissimilar color format orunequal frame '
                   'dimensions or unequal number of frames')
        cases = [
            ((yuv,), {'sh': 11}, 'BasinLift: RGB or Y sharpening factor sh must be between -10 and 10'),
            ((gray,), {'sm': 11}, 'BasinLift: RGB or Y smoothening factor sm must be between 0 and 10'),
            ((yuv,), {'smu': -1}, 'BasinLift: u smoothening factor smu must be between 0 and 10'),
            ((yuv, -2, 2, True, None, 0, 11), {},
             'BasinLift: v smoothening factor smv must be between 0 and 10'),
            ((yuv,), {'c4': 2}, 'BasinLift: c4 must be 0 (8-connected regions) or 1 (4-connected), not 2'),
            ((rgb,), {'sh': 0, 'sm': 0}, 'BasinLift: sh and sm both can not be zero'),
            ((yuv,), {'sh': 0, 'sm': 0}, 'BasinLift: sh, sm, smu and smv  values are zero'),
            ((yuv,), {'sclip': yuv}, 'BasinLift:clip to be smoothed and sclip must not be identical'),
            ((yuv,), {'sclip': grain(vs.YUV420P8, 64, 46)},
             differs + ' (clip: YUV420P8 64x48, 3 frames; sclip: YUV420P8 64x46, 3 frames)'),
            ((core.std.BlankClip(format=vs.GRAYH),), {}, 'BasinLift: GrayH ' + unsupported),
            ((core.std.BlankClip(format=vs.YUV444PH),), {}, 'BasinLift: YUV444PH ' + unsupported),
            ((rgb,), {'smu': 11}, 'BasinLift: u smoothening factor smu must be between 0 and 10'),
            ((gray,), {'sh': 0, 'sm': 0, 'smu': 3},
             'BasinLift: sh and sm both can not be zero; a clip of Y alone has no U and V for smu and smv'),
            ((yuv,), {'c4': 4294967297},
             'BasinLift: c4 must be 0 (8-connected regions) or 1 (4-connected), not 4294967297'),
            # The host's own, before the plug-in sees the call.
            ((yuv,), {'useclip': True}, 'BasinLift: Function does not take argument(s) named useclip'),
            ((), {'sh': 1}, 'BasinLift: argument clip is required'),
        ]
        for positional, keywords, text in cases:
            with self.subTest(keywords=keywords, positional=len(positional)):
                with self.assertRaises(vs.Error) as caught:
                    BasinLift(*positional, **keywords)
                self.assertEqual(str(caught.exception), text)


class Vspipe(unittest.TestCase):
    """Scripts run by vspipe, as users run them."""

    def test_y4m_output_equals_the_tools_on_the_same_frames(self):
        space = Workspace('y4m')
        compared = 0
        for format, width, height in Y4M_FORMATS:
            source = space.y4m(f'{format}-source', script_text(format, width, height, 5, 7))
            seg = space.dir / f'{format}-sclip.y4m'
            seg.write_bytes(space.y4m(f'{format}-sclip', script_text(format, width, height, 5, 107)))
            for index, arguments in enumerate(ARGUMENT_SETS):
                if format.startswith('GRAY') and not (arguments.get('sh', 1) or arguments.get('sm', 1)):
                    continue  # refused: grey has no chroma to smooth
                with self.subTest(format=format, arguments=arguments):
                    name = f'{format}-{index}'
                    filtered = space.y4m(name, script_text(format, width, height, 5, 7, arguments))
                    words = []
                    for key, value in arguments.items():
                        if key == 'sclip':
                            words += ['useclip=true', f'sclip={seg}']
                        else:
                            words.append(f'{key}={str(value).lower()}')
                    run([TOOL, '--quiet', space.dir / f'{format}-source.y4m',
                         space.dir / f'{name}.tool.y4m'] + words)
                    tool = (space.dir / f'{name}.tool.y4m').read_bytes()
                    self.assertEqual(y4m_frames(filtered), 5)
                    self.assertNotEqual(filtered, source)
                    self.assertTrue(filtered == tool, f'{name}: vspipe and the tool differ')
                    compared += 1
        grays = sum(format.startswith('GRAY') for format, _, _ in Y4M_FORMATS)
        self.assertEqual(compared, len(Y4M_FORMATS) * len(ARGUMENT_SETS) - grays)

    def test_one_and_two_core_threads_give_the_same_bytes(self):
        space = Workspace('threads')
        arguments = {'sclip': True, 'smu': 2, 'smv': 2}
        one = space.y4m('one', script_text('YUV420P8', 320, 240, 24, 30, arguments, threads=1))
        two = space.y4m('two', script_text('YUV420P8', 320, 240, 24, 30, arguments, threads=2))
        self.assertEqual(y4m_frames(one), 24)
        self.assertTrue(one == two, 'core.num_threads 1 and 2 differ')

    def test_the_plugin_loads_from_the_user_plugin_folder(self):
        space = Workspace('autoload')
        loaded = space.y4m('loaded', script_text('YUV420P8', 62, 46, 3, 5, {'sm': 3, 'smu': 2}))
        script = script_text('YUV420P8', 62, 46, 3, 5, {'sm': 3, 'smu': 2}, load=False)
        # Without a plug-in folder the script cannot find the plug-in ...
        (space.dir / 'script.vpy').write_text(script)
        missing = subprocess.run([VSPIPE, '--info', space.dir / 'script.vpy'], env=space.env,
                                 capture_output=True, text=True)
        self.assertNotEqual(missing.returncode, 0)
        self.assertIn('basinlift', missing.stderr)
        # ... with one named in vapoursynth.conf, VapourSynth loads it at start-up.
        plugins = space.dir / 'plugins'
        plugins.mkdir()
        shutil.copy(PLUGIN, plugins)
        conf = space.dir / 'home' / '.config' / 'vapoursynth' / 'vapoursynth.conf'
        conf.parent.mkdir(parents=True)
        conf.write_text(f'UserPluginDir={plugins}\n')
        autoloaded = space.y4m('autoloaded', script)
        self.assertEqual(y4m_frames(autoloaded), 3)
        self.assertTrue(autoloaded == loaded, 'the autoloaded plug-in gives other frames')


if __name__ == '__main__':
    if not VSPIPE:
        sys.exit('vs_python_test.py: vspipe is not on PATH')
    unittest.main(argv=sys.argv[:1], verbosity=2)
