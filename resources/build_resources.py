#!/usr/bin/env python3
"""Builds the plug-in's resource object.

1. Each cursors/NAME.txt (32 rows of 32 characters: '.' transparent, '#' black,
   'o' white; lines starting with ';' are comments) becomes OUT/NAME.cur, a
   32x32 monochrome cursor with its hot spot at (0, 0).
2. windres compiles qvhuetint.rc to a .res. It upper-cases the class names
   that CONTROL statements give as strings, so the common-control classes are
   put back under the names they are registered with.
3. windres turns the .res into an object file for the linker.
"""
import argparse
import pathlib
import struct
import subprocess
import sys

SIZE = 32
CLASS_NAMES = ("msctls_updown32", "msctls_trackbar32")


def read_mask(path):
    rows = [line.rstrip("\n") for line in path.read_text(encoding="ascii").splitlines()
            if not line.startswith(";")]
    if len(rows) != SIZE or any(len(r) != SIZE for r in rows):
        sys.exit(f"{path}: need {SIZE} rows of {SIZE} characters")
    for y, row in enumerate(rows):
        bad = set(row) - set(".#o")
        if bad:
            sys.exit(f"{path}:{y + 1}: unknown characters {sorted(bad)}")
    return rows


def pack_rows(rows, bit_of):
    # Bottom-up rows, one bit per pixel, most significant bit leftmost.
    data = bytearray()
    for row in reversed(rows):
        for start in range(0, SIZE, 8):
            byte = 0
            for ch in row[start:start + 8]:
                byte = byte << 1 | bit_of(ch)
            data.append(byte)
    return bytes(data)


def cursor_file(rows):
    # AND mask 1 = screen shows through; XOR with palette 0 black, 1 white.
    xor = pack_rows(rows, lambda ch: 1 if ch == "o" else 0)
    and_ = pack_rows(rows, lambda ch: 1 if ch == "." else 0)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, len(xor) + len(and_), 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    image = header + palette + xor + and_
    directory = struct.pack("<HHH", 0, 2, 1)
    # width, height, colours, reserved, hot spot x, hot spot y, size, offset
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, 0, 0, len(image), 6 + 16)
    return directory + entry + image


def restore_class_names(res):
    for name in CLASS_NAMES:
        upper = (name.upper() + "\0").encode("utf-16-le")
        if upper not in res:
            sys.exit(f"no control of class {name} in the compiled resources")
        res = res.replace(upper, (name + "\0").encode("utf-16-le"))
    return res


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windres", required=True)
    parser.add_argument("--rc", required=True, type=pathlib.Path)
    parser.add_argument("--cursors", required=True, type=pathlib.Path)
    parser.add_argument("--out-dir", required=True, type=pathlib.Path)
    parser.add_argument("--object", required=True, type=pathlib.Path)
    parser.add_argument("-I", dest="includes", action="append", default=[])
    args = parser.parse_args()

    args.out_dir.mkdir(parents=True, exist_ok=True)
    for txt in sorted(args.cursors.glob("*.txt")):
        (args.out_dir / (txt.stem + ".cur")).write_bytes(cursor_file(read_mask(txt)))

    res = args.out_dir / "qvhuetint.res"
    includes = []
    for directory in [args.rc.parent, args.out_dir, *args.includes]:
        includes += ["-I", str(directory)]
    subprocess.run([args.windres, *includes, "-i", str(args.rc), "-O", "res", "-o", str(res)], check=True)
    res.write_bytes(restore_class_names(res.read_bytes()))
    subprocess.run([args.windres, "-i", str(res), "-O", "coff", "-o", str(args.object)], check=True)


if __name__ == "__main__":
    main()
