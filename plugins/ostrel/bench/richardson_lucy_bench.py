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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ostrel_pnm import read_mask, read_pnm, write_pnm  # noqa: E402


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("time", "blur"):
        raise SystemExit(__doc__)
    psf = read_mask(sys.argv[3])
    psf /= psf.sum()
    if sys.argv[1] == "blur":
        from scipy import ndimage

        img = read_pnm(sys.argv[2]).astype(np.float64)
        out = np.empty_like(img)
        for c in range(3):
            out[:, :, c] = ndimage.convolve(img[:, :, c], psf, mode="mirror")
        write_pnm(sys.argv[4], np.clip(np.floor(out + 0.5), 0, 255))
        return
    img = read_pnm(sys.argv[2]).astype(np.float32) / 255.0
    iterations = int(sys.argv[4])
    t0 = time.process_time()
    for c in range(3):
        out = restoration.richardson_lucy(img[:, :, c], psf, num_iter=iterations)
    t = time.process_time() - t0
    print(f"{t:.3f} {out.dtype}")


if __name__ == "__main__":
    main()
