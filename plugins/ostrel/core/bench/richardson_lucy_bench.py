#!/usr/bin/python3
"""Times scikit-image's Richardson-Lucy deconvolution as the peer of the
refocus bench: the same RGB image, the refocus mask as the point spread
function, float32, one thread.

usage: richardson_lucy_bench.py time IMAGE.ppm MASK.txt ITERATIONS
       richardson_lucy_bench.py blur IMAGE.ppm MASK.txt OUT.ppm

MASK.txt is the output of `ostrel-refocus --print-mask`.  `time` prints the
CPU seconds of the deconvolution of the three channels (loading excluded);
`blur` writes the image blurred by the mask (mirrored ends, whole bytes),
the kind of photograph both methods are meant for."""
import os
import sys

for var in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(var, "1")

import time  # noqa: E402

import numpy as np  # noqa: E402
from skimage import restoration  # noqa: E402


def read_ppm(path):
    """Binary P6 with maxval 255 (what corvella-synth-photo writes)."""
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise SystemExit(f"{path}: not a binary 8-bit PPM")
    w, h = int(fields[1]), int(fields[2])
    pixels = np.frombuffer(data, np.uint8, w * h * 3, pos + 1)
    return pixels.reshape(h, w, 3)


def read_mask(path):
    """The numbers of `ostrel-refocus --print-mask`, one row a line."""
    rows = []
    with open(path) as f:
        for line in f:
            try:
                vals = [float(v) for v in line.split()]
            except ValueError:
                continue
            if vals:
                rows.append(vals)
    side = len(rows)
    rows = [r for r in rows if len(r) == side]
    return np.array(rows, np.float32)


def write_ppm(path, rgb):
    h, w, _ = rgb.shape
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(np.ascontiguousarray(rgb, np.uint8).tobytes())


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("time", "blur"):
        raise SystemExit(__doc__)
    psf = read_mask(sys.argv[3])
    psf /= psf.sum()
    if sys.argv[1] == "blur":
        from scipy import ndimage

        img = read_ppm(sys.argv[2]).astype(np.float64)
        out = np.empty_like(img)
        for c in range(3):
            out[:, :, c] = ndimage.convolve(img[:, :, c], psf, mode="mirror")
        write_ppm(sys.argv[4], np.clip(np.floor(out + 0.5), 0, 255))
        return
    img = read_ppm(sys.argv[2]).astype(np.float32) / 255.0
    iterations = int(sys.argv[4])
    t0 = time.process_time()
    for c in range(3):
        out = restoration.richardson_lucy(img[:, :, c], psf, num_iter=iterations)
    t = time.process_time() - t0
    print(f"{t:.3f} {out.dtype}")


if __name__ == "__main__":
    main()
