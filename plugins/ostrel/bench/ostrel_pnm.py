"""Binary Netpbm images and printed masks for the refocus bench and
calibration scripts."""
import numpy as np


def read_pnm(path):
    """Binary P5 or P6 with maxval 255: (h, w) or (h, w, 3) bytes."""
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
    if fields[0] not in (b"P5", b"P6") or int(fields[3]) != 255:
        raise SystemExit(f"{path}: not a binary 8-bit PGM or PPM")
    w, h = int(fields[1]), int(fields[2])
    depth = 3 if fields[0] == b"P6" else 1
    pixels = np.frombuffer(data, np.uint8, w * h * depth, pos + 1)
    return pixels.reshape((h, w, 3) if depth == 3 else (h, w))


def write_pnm(path, img):
    """img: (h, w) grey or (h, w, 3) colour, values 0..255."""
    h, w = img.shape[:2]
    magic = b"P6" if img.ndim == 3 else b"P5"
    with open(path, "wb") as f:
        f.write(b"%s\n%d %d\n255\n" % (magic, w, h))
        f.write(np.ascontiguousarray(img, np.uint8).tobytes())


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
