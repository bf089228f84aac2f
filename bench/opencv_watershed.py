#!/usr/bin/env python3
"""Times OpenCV's cv2.watershed call alone on the benchmark's 1080p grey frames, to set beside
the channel pass that basinlift_bench times. Not part of the build: only running this script
needs OpenCV (Debian: python3-opencv).

    basinlift_bench --write-contents=DIR [--grey=testsrc2.grey]
    python3 bench/opencv_watershed.py DIR/*.grey

OpenCV floods from markers that it is given. They are the frame's regional minima: the sets of
equal pixels, connected as 8-neighbours, none of which has a lower neighbour, numbered from 1,
which is where our watershed starts its regions too (it adds the ones its border rule makes).
Only the cv2.watershed call is timed, in CPU time, fastest of the repetitions; the markers are
copied before each call, outside the timing, since OpenCV writes into them.
"""

import argparse
import os
import sys
import time

import cv2
import numpy as np

WIDTH, HEIGHT = 1920, 1080


def regional_minima(grey):
    """Markers: each regional minimum of `grey` numbered from 1, 0 elsewhere (int32)."""
    # A pixel has a lower neighbour where the lowest of its 3x3 neighbourhood is below it;
    # outside the frame counts as higher.
    has_lower = cv2.erode(grey, np.ones((3, 3), np.uint8)) < grey
    markers = np.zeros(grey.shape, np.int32)
    count = 0
    for value in np.unique(grey):
        zones, zone = cv2.connectedComponents((grey == value).astype(np.uint8), connectivity=8)
        # Zone 0 is everything not of this value; a zone with a lower neighbour is no minimum.
        lowered = np.bincount(zone[has_lower].ravel(), minlength=zones) > 0
        minima = np.flatnonzero(~lowered[1:]) + 1
        numbers = np.zeros(zones, np.int32)
        numbers[minima] = np.arange(count + 1, count + 1 + len(minima), dtype=np.int32)
        inside = zone > 0
        markers[inside] = numbers[zone[inside]]
        count += len(minima)
    return markers, count


def fastest_watershed(bgr, markers, repetitions):
    best = float("inf")
    for _ in range(repetitions):
        flooded = markers.copy()
        start = time.process_time()
        cv2.watershed(bgr, flooded)
        best = min(best, time.process_time() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("frames", nargs="+", help="raw 8-bit grey frames of 1920x1080")
    parser.add_argument("--repetitions", type=int, default=3)
    args = parser.parse_args()
    cv2.setNumThreads(1)
    print(f"OpenCV {cv2.__version__}, cv2.watershed call alone, CPU time, fastest of "
          f"{args.repetitions}")
    for path in args.frames:
        grey = np.fromfile(path, np.uint8)
        if grey.size != WIDTH * HEIGHT:
            sys.exit(f"{path} is not a {WIDTH}x{HEIGHT} 8-bit grey frame")
        grey = grey.reshape(HEIGHT, WIDTH)
        markers, count = regional_minima(grey)
        seconds = fastest_watershed(cv2.cvtColor(grey, cv2.COLOR_GRAY2BGR), markers,
                                    args.repetitions)
        name = os.path.splitext(os.path.basename(path))[0]
        print(f"{name:12s} {count:7d} markers  {seconds * 1000:7.2f} ms")


if __name__ == "__main__":
    main()
