#!/usr/bin/python3
"""Runs the README's VapourSynth examples exactly as printed, so that they cannot rot.

    readme_examples.py README WORKDIR

An example is a fenced block right after a marker line (an HTML comment, which Markdown does not
show):
    <!-- tested: save as NAME -->   the block is written to WORKDIR/NAME
    <!-- tested: run -->            the block runs in WORKDIR with bash -e -o pipefail
Blocks are taken in the order they appear; every block saved comes before the runs. The plug-in
(BASINLIFT_VS_PLUGIN) sits in a plug-in folder that VapourSynth loads at start-up, as the README
tells users to put it, named in the vapoursynth.conf of a HOME of the run's own; vspipe and
ffmpeg are found on PATH."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

MARKER = re.compile(r'^<!-- tested: (save as (?P<name>[\w.-]+)|run) -->$')


def examples(readme):
    """(name or None, text) for each marked block."""
    lines = readme.read_text().splitlines()
    found = []
    for i, line in enumerate(lines):
        marker = MARKER.match(line.strip())
        if not marker:
            continue
        if i + 1 >= len(lines) or not lines[i + 1].startswith('```'):
            sys.exit(f'{readme}:{i + 1}: a marker must stand right before a fenced block')
        end = next((j for j in range(i + 2, len(lines)) if lines[j].startswith('```')), None)
        if end is None:
            sys.exit(f'{readme}:{i + 2}: the block never ends')
        found.append((marker.group('name'), '\n'.join(lines[i + 2:end]) + '\n'))
    return found


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: readme_examples.py README WORKDIR')
    readme, work = Path(sys.argv[1]), Path(sys.argv[2]).resolve()
    blocks = examples(readme)
    saved = [b for b in blocks if b[0]]
    runs = [b for b in blocks if not b[0]]
    if not saved or not runs:
        sys.exit(f'{readme}: expected marked examples to save and to run, found '
                 f'{len(saved)} and {len(runs)}')

    shutil.rmtree(work, ignore_errors=True)
    plugins, home = work / 'plugins', work / 'home'
    plugins.mkdir(parents=True)
    shutil.copy(os.environ['BASINLIFT_VS_PLUGIN'], plugins)
    conf = home / '.config' / 'vapoursynth' / 'vapoursynth.conf'
    conf.parent.mkdir(parents=True)
    conf.write_text(f'UserPluginDir={plugins}\n')
    env = dict(os.environ, HOME=str(home))
    env.pop('XDG_CONFIG_HOME', None)
    env.pop('VAPOURSYNTH_CONF_PATH', None)

    for name, text in saved:
        (work / name).write_text(text)
        print(f'--- saved as {name}:\n{text}', flush=True)
    for _, text in runs:
        before = {p.name for p in work.iterdir()}
        print(f'--- running:\n{text}', flush=True)
        result = subprocess.run(['bash', '-e', '-o', 'pipefail', '-c', text], cwd=work, env=env,
                                capture_output=True, text=True)
        print(result.stdout, result.stderr, sep='\n', flush=True)
        if result.returncode != 0:
            sys.exit(f'the example failed with status {result.returncode}')
        made = [p for p in work.iterdir() if p.name not in before and p.is_file()]
        empty = [p.name for p in made if p.stat().st_size == 0]
        if empty:
            sys.exit(f'the example wrote empty files: {", ".join(empty)}')
    print(f'OK: {len(saved)} file(s) saved and {len(runs)} example(s) run as printed')


if __name__ == '__main__':
    main()
