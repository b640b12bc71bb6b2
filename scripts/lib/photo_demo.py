#!/usr/bin/env python3
"""Damage, measure and lay out the photograph demo (scripts/demo.d/50-photo.sh).

  photo_demo.py damage CLEAN.png OUTDIR
      writes OUTDIR/blurred.png (disc of radius 3, then noise of sigma 2),
      OUTDIR/noisy.png (camera-like noise: signal-dependent, stronger in the
      blue and red channels, a little colour blotching) and OUTDIR/grainy.png
      (film-like grain: clumped, one strength per channel), all 8-bit RGB,
      each from its own fixed seed.
  photo_demo.py psnr CLEAN.png IMAGE.png
      prints the PSNR in dB of IMAGE against CLEAN (colour channels).
  photo_demo.py size IMAGE.png
      prints "WIDTH x HEIGHT".
  photo_demo.py summary OUT.png LAUNCHER.png ROW...
      ROW is "TITLE|SETTINGS|BEFORE.png|AFTER.png|PSNR_BEFORE|PSNR_AFTER";
      lays each damaged image beside its result with the labels, then the
      launcher screenshot (or a note that it is missing) below.
"""
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont


def load(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.float64)


def save(pixels, path):
    Image.fromarray(np.clip(np.rint(pixels), 0, 255).astype(np.uint8), "RGB").save(path)


def disc_blur(pixels, radius):
    """Convolution with a normalised disc, edges mirrored (as the refocus
    plug-in's default boundary)."""
    r = int(np.ceil(radius))
    ys, xs = np.mgrid[-r:r + 1, -r:r + 1]
    kernel = (xs * xs + ys * ys <= radius * radius).astype(np.float64)
    kernel /= kernel.sum()
    padded = np.pad(pixels, ((r, r), (r, r), (0, 0)), mode="symmetric")
    h, w = pixels.shape[:2]
    out = np.zeros_like(pixels)
    for dy in range(-r, r + 1):
        for dx in range(-r, r + 1):
            k = kernel[dy + r, dx + r]
            if k:
                out += k * padded[r + dy:r + dy + h, r + dx:r + dx + w]
    return out


def box_smooth(field, size):
    """Mean over size x size neighbours (wrapping): clumps white noise."""
    out = np.zeros_like(field)
    for dy in range(size):
        for dx in range(size):
            out += np.roll(np.roll(field, dy, axis=0), dx, axis=1)
    return out / (size * size)


def damage(clean_path, outdir):
    clean = load(clean_path)
    h, w = clean.shape[:2]

    rng = np.random.default_rng(1)
    save(disc_blur(clean, 3.0) + rng.normal(0.0, 2.0, clean.shape), f"{outdir}/blurred.png")

    # Camera noise: shot noise grows with the signal, read noise is flat,
    # the blue and red channels are amplified more than green, and a
    # low-frequency colour component makes blotches.
    rng = np.random.default_rng(2)
    gain = np.array([1.3, 1.0, 1.6])
    sigma = np.sqrt(0.35 * clean + 16.0) * gain
    blotch = box_smooth(rng.normal(0.0, 1.0, (h, w, 3)), 4) * 4.0 * gain
    save(clean + sigma * rng.normal(0.0, 1.0, clean.shape) + blotch, f"{outdir}/noisy.png")

    # Film grain: clumps of about two pixels, strongest in blue, weakest in
    # green, shared in part between the channels (silver in all layers).
    rng = np.random.default_rng(3)
    shared = box_smooth(rng.normal(0.0, 1.0, (h, w)), 2)[:, :, None]
    own = box_smooth(rng.normal(0.0, 1.0, (h, w, 3)), 2)
    strength = np.array([14.0, 11.0, 18.0])
    save(clean + (0.6 * shared + 0.8 * own) * strength, f"{outdir}/grainy.png")


def psnr(clean_path, image_path):
    a, b = load(clean_path), load(image_path)
    if a.shape != b.shape:
        raise SystemExit(f"photo_demo: {image_path} is {b.shape[1]}x{b.shape[0]}, "
                         f"the photograph {a.shape[1]}x{a.shape[0]}")
    mse = float(np.mean((a - b) ** 2))
    return float("inf") if mse == 0 else 10.0 * np.log10(255.0 * 255.0 / mse)


def font(size):
    for path in ("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                 "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"):
        try:
            return ImageFont.truetype(path, size)
        except OSError:
            pass
    return ImageFont.load_default()


def summary(out_path, launcher_path, rows):
    pad, gap = 16, 8
    title_font, text_font = font(20), font(15)
    tiles = []
    for row in rows:
        parts = row.split("|")
        if len(parts) != 6:
            raise SystemExit(f"photo_demo: bad summary row {row!r}")
        title, settings, before, after, p_before, p_after = parts
        b = Image.open(before).convert("RGB") if before else None
        a = Image.open(after).convert("RGB") if after else None
        tiles.append((title, settings, b, a, p_before, p_after))
    cell_w = max([t[2].width for t in tiles if t[2]] + [300])
    cell_h = max([t[2].height for t in tiles if t[2]] + [200])
    label_h = 2 * 22 + 22
    width = 2 * pad + 2 * cell_w + gap
    try:
        launcher = Image.open(launcher_path).convert("RGB")
        scale = min(1.0, (width - 2 * pad) / launcher.width)
        launcher = launcher.resize((int(launcher.width * scale), int(launcher.height * scale)),
                                   Image.LANCZOS)
        launcher_h = launcher.height + 30
    except (OSError, ValueError):
        launcher, launcher_h = None, 40
    height = pad + len(tiles) * (label_h + cell_h + pad) + launcher_h + pad
    sheet = Image.new("RGB", (width, height), "white")
    draw = ImageDraw.Draw(sheet)
    y = pad
    for title, settings, b, a, p_before, p_after in tiles:
        draw.text((pad, y), title, fill="black", font=title_font)
        draw.text((pad, y + 24), settings, fill="#333333", font=text_font)
        draw.text((pad, y + 44), f"damaged: {p_before}", fill="#333333", font=text_font)
        draw.text((pad + cell_w + gap, y + 44), f"filtered: {p_after}", fill="#333333",
                  font=text_font)
        y += label_h
        for x, img in ((pad, b), (pad + cell_w + gap, a)):
            if img is None:
                draw.rectangle([x, y, x + cell_w - 1, y + cell_h - 1], outline="red")
                draw.text((x + 10, y + 10), "no result (see the demo's output)",
                          fill="red", font=text_font)
            else:
                sheet.paste(img, (x, y))
        y += cell_h + pad
    if launcher is None:
        draw.text((pad, y), f"The launcher screenshot {launcher_path} is missing.",
                  fill="red", font=text_font)
    else:
        draw.text((pad, y), "The Windows launcher (demo/launcher.png)", fill="black",
                  font=text_font)
        sheet.paste(launcher, (pad, y + 24))
    sheet.save(out_path)


def main(argv):
    if len(argv) == 4 and argv[1] == "damage":
        damage(argv[2], argv[3])
    elif len(argv) == 4 and argv[1] == "psnr":
        print(f"{psnr(argv[2], argv[3]):.2f}")
    elif len(argv) == 3 and argv[1] == "size":
        with Image.open(argv[2]) as img:
            print(f"{img.width} x {img.height}")
    elif len(argv) >= 5 and argv[1] == "summary":
        summary(argv[2], argv[3], argv[4:])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
