#!/usr/bin/env python3
"""Builds a synthetic installation medium of one benchmark shape.

  make_medium.py SHAPE DIR [--scale F]

Shapes:
  cd        a CD-sized medium: about 700 MB in about 3,000 files, sizes from a
            few hundred bytes to tens of megabytes, spread over every folder a
            kit takes;
  small     50,000 small files spread over nested driver folders;
  runtime   one runtime folder of 20,000 files.

--scale shrinks file counts and sizes (the quick smoke run uses 0.02). The
medium is reproducible: names, sizes and bytes come from a seeded generator.
Files are read-only, as on a CD, and every shape carries the items the kit
reads (root files, the four tools, the runtime with its revision and
setup-type files, the packages, the common, board and video-card drivers and
the board-10 runtime) so a kit with everything selected copies them all.
"""

import argparse
import os
import random
import sys

TI = "Talvor Imaging"
BOARDS = ["Pellam", "Varnex", "Tobrin", "Kestov", "Ardune", "Sorvik",
          "Lunnet", "Wyndel", "Calvex", "Jurano", "Nuvaro", "Harrik"]
COMMON = ["DMA", "Host", "TalvorSerial", "TalvorAux", "win2000"]
BOARD_LIBS = [b.lower() for b in BOARDS] + ["juranox"]
EXTENSIONS = [".dll", ".sys", ".inf", ".cat", ".bin", ".dat", ".ini", ".txt", ".ocx", ".exe"]

SETUP_TYPE = (
    "; Setup types of the Talvor Imaging installer.\r\n"
    "[PRODUCT]\r\nVokRuntime=Y\r\nVokDevelopment=Y\r\nQuenzoRuntime=Y\r\n"
    "QuenzoDevelopment=Y\r\nFramory=Y\r\nKRT=Y\r\n\r\n"
    "[SELECTED]\r\nVokRuntime=Y\r\nVokDevelopment=Y\r\nQuenzoRuntime=Y\r\nFramory=Y\r\n"
)


class Medium:
    def __init__(self, root, seed):
        self.root = root
        self.rng = random.Random(seed)
        # One pool of incompressible bytes; each file takes a slice of it at
        # its own offset, so no two files of the same size are identical.
        self.pool = random.Random(seed + 1).randbytes(8 << 20)
        self.files = 0
        self.bytes = 0

    def write(self, rel, size=None, text=None):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if text is not None:
            data = text.encode()
            with open(path, "wb") as out:
                out.write(data)
            size = len(data)
        else:
            with open(path, "wb") as out:
                left = size
                at = self.rng.randrange(len(self.pool))
                while left > 0:
                    piece = self.pool[at:at + left]
                    out.write(piece)
                    left -= len(piece)
                    at = 0
        os.chmod(path, 0o444)
        self.files += 1
        self.bytes += size

    def name(self, index, stem="file"):
        return "%s%05d%s" % (stem, index, self.rng.choice(EXTENSIONS))


def skeleton(m):
    """What every kit run reads, small: the fixed items of the medium."""
    m.write("setup.exe", 96 << 10)
    m.write("setup.ini", text="[Startup]\r\nProduct=VOK\r\n")
    m.write("autorun.inf", text="[autorun]\r\nopen=setup.exe\r\n")
    for tool in ["VOKConfig.exe", "vokdrv.exe", "BchResum.bch", "vokbench.exe"]:
        m.write(os.path.join(TI, "Tools", tool), 24 << 10)
    m.write(os.path.join(TI, "Tools", "vokdebug.exe"), 8 << 10)  # not in a kit
    vok = os.path.join(TI, "Vok")
    m.write(os.path.join(vok, "Revision.txt"), text="VOK 9.0 Revision 4217\r\n")
    m.write(os.path.join(vok, "SetupType.txt"), text=SETUP_TYPE)
    for lib in BOARD_LIBS:
        m.write(os.path.join(vok, "dll", "vok%s.dll" % lib), 16 << 10)
    m.write(os.path.join(TI, "Drivers", "Pellam", "Pellam.cfg"), text="[Pellam]\r\n")
    m.write(os.path.join(TI, "Drivers", "Utilities", "drvinst.exe"), 32 << 10)
    # Utilities is copied without its sub-folders.
    m.write(os.path.join(TI, "Drivers", "Utilities", "Legacy", "oldinst.exe"), 16 << 10)


def spread(m, folders, count, size_of, depth_of, per_folder):
    """`count` files over `folders`, each in nested sub-folders of about
    `per_folder` files, `depth_of()` levels deep."""
    for i in range(count):
        top = folders[i % len(folders)]
        slot = i // len(folders)
        parts = [top]
        group = slot // per_folder
        for level in range(depth_of(group)):
            parts.append("Sub%02d" % ((group >> (2 * level)) % 4 + level))
        m.write(os.path.join(*parts, m.name(i)), size_of())


def driver_folders():
    drv = os.path.join(TI, "Drivers")
    return ([os.path.join(drv, c) for c in COMMON] +
            [os.path.join(drv, b) for b in BOARDS] + [os.path.join(drv, "PELUX")])


def shape_cd(m, scale):
    skeleton(m)
    count = max(60, int(3000 * scale))
    # Mostly small files, some megabytes, a few large cabinets: about 700 MB.
    sizes = []
    for _ in range(count):
        r = m.rng.random()
        if r < 0.70:
            sizes.append(m.rng.randint(512, 64 << 10))
        elif r < 0.95:
            sizes.append(m.rng.randint(64 << 10, 1 << 20))
        else:
            sizes.append(m.rng.randint(2 << 20, 12 << 20))
    target = int((700 << 20) * scale)
    factor = target / sum(sizes)
    sizes = [max(1, int(s * factor)) for s in sizes]
    folders = ([os.path.join(TI, "Vok", "dll")] * 4 + [os.path.join(TI, "Quenzo", "Controls"),
               os.path.join(TI, "Framory"), os.path.join("Jurano", "runtime")] +
               driver_folders())
    it = iter(sizes)
    spread(m, folders, count, lambda: next(it), lambda g: g % 3, 40)
    m.write(os.path.join(TI, "Drivers", "Utilities", "drvinst.txt"), 4 << 10)


def shape_small(m, scale):
    skeleton(m)
    count = max(200, int(50000 * scale))
    spread(m, driver_folders(), count, lambda: m.rng.randint(200, 6 << 10),
           lambda g: 1 + g % 3, 60)


def shape_runtime(m, scale):
    skeleton(m)
    count = max(100, int(20000 * scale))
    folder = os.path.join(TI, "Vok", "dll")
    for i in range(count):
        m.write(os.path.join(folder, m.name(i, "vokrt")), m.rng.randint(1 << 10, 24 << 10))


SHAPES = {"cd": shape_cd, "small": shape_small, "runtime": shape_runtime}


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("shape", choices=sorted(SHAPES))
    parser.add_argument("dir")
    parser.add_argument("--scale", type=float, default=1.0)
    args = parser.parse_args()
    if os.path.exists(args.dir) and os.listdir(args.dir):
        sys.exit("make_medium: %s is not empty" % args.dir)
    os.makedirs(args.dir, exist_ok=True)
    m = Medium(args.dir, seed=sorted(SHAPES).index(args.shape) + 7)
    SHAPES[args.shape](m, args.scale)
    print("%s: %d files, %d bytes" % (args.shape, m.files, m.bytes))


if __name__ == "__main__":
    main()
