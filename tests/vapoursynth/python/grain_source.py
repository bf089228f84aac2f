"""Test clips made in Python, the way a script makes frames without a source plug-in: a
BlankClip whose frames std.ModifyFrame fills with numpy. Blocks of six levels with grain on top
give the watershed regions to find and many boundaries; frame n of a clip has the same bytes in
every process, so scripts run by vspipe and by the test itself see the same clip."""
import numpy as np


def _mix(z):
    """splitmix64's finaliser, elementwise (uint64 arithmetic wraps, as intended)."""
    z = (z ^ (z >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)
    z = (z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)
    return z ^ (z >> np.uint64(31))


def plane_values(seed, n, plane, height, width):
    """The bytes of one plane of frame n."""
    y, x = np.indices((height, width), dtype=np.uint64)
    where = (np.uint64(seed) << np.uint64(44)) ^ (np.uint64(n) << np.uint64(32)) ^ \
            (np.uint64(plane) << np.uint64(30)) ^ (y << np.uint64(15)) ^ x
    level = (x // np.uint64(7) + (y // np.uint64(5)) * np.uint64(3) + np.uint64(n + plane + seed)) % np.uint64(6)
    return (np.uint64(35) * level + _mix(where) % np.uint64(20)).astype(np.uint8)


def source(core, format, width, height, length, seed):
    """A clip of `length` frames; each frame also carries its number as BasinLiftTestFrame."""
    blank = core.std.BlankClip(format=format, width=width, height=height, length=length)

    def fill(n, f):
        out = f.copy()
        for p in range(out.format.num_planes):
            plane = np.asarray(out[p])
            plane[:] = plane_values(seed, n, p, *plane.shape)
        out.props['BasinLiftTestFrame'] = n
        return out

    return core.std.ModifyFrame(blank, blank, fill)


def frame_bytes(frame):
    """Every plane's visible bytes, one after the other."""
    return b''.join(np.asarray(frame[p]).tobytes() for p in range(frame.format.num_planes))


def clip_bytes(clip):
    # Frame by frame: R73's clip.frames() can spin forever holding the GIL that the thread
    # delivering the next frame waits for.
    return b''.join(frame_bytes(clip.get_frame(n)) for n in range(clip.num_frames))
