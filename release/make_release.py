#!/usr/bin/env python3
"""Makes the release zip: the shipped 32-bit plug-in and its readmes, in
Japanese (readme.txt) and English (readme_en.txt) as Notepad opens them
(UTF-8 with a byte-order mark, CRLF line ends), and its SHA-256 beside it.

The version comes from resources/version.h and the copyright line from the
version block, so they are kept in one place. Entries are written in a fixed
order with the time of the commit, so the same commit gives the same bytes.

Usage: make_release.py PLUGIN OUT_DIR   (prints the zip's path)"""
import hashlib
import os
import pathlib
import re
import subprocess
import sys
import time
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent


def version():
    text = (ROOT / "resources/version.h").read_text()
    numbers = [re.search(rf"#define QV_VERSION_{part} (\d+)", text).group(1)
               for part in ("MAJOR", "MINOR", "PATCH", "BUILD")]
    dotted = re.search(r'#define QV_VERSION_TEXT "([^"]+)"', text).group(1)
    if dotted != ".".join(numbers):
        sys.exit(f"make_release: version.h says {dotted} and {'.'.join(numbers)}")
    return dotted


def copyright_line():
    rc = (ROOT / "resources/qvhuetint.rc").read_text(encoding="utf-8")
    return re.search(r'VALUE "LegalCopyright", "([^"]+)"', rc).group(1)


def commit_time():
    try:
        out = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout.strip()
        return max(int(out), 315532800)  # zip times start in 1980
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 315532800


def readme(name, ver):
    text = (ROOT / "release" / name).read_text(encoding="utf-8")
    text = text.replace("@VERSION@", ver).replace("@COPYRIGHT@", copyright_line())
    return b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def main():
    plugin, out_dir = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    ver = version()
    entries = [("qvhuetint.ppi", plugin.read_bytes()),
               ("readme.txt", readme("readme.txt", ver)),
               ("readme_en.txt", readme("readme_en.txt", ver))]
    stamp = time.gmtime(commit_time())[:6]
    out_dir.mkdir(parents=True, exist_ok=True)
    target = out_dir / f"qvhuetint-{ver}.zip"
    partial = target.with_suffix(".zip.partial")
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 0  # MS-DOS attributes: a plain file
            info.external_attr = 0x20
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, target)
    digest = hashlib.sha256(target.read_bytes()).hexdigest()
    (out_dir / f"{target.name}.sha256").write_text(f"{digest}  {target.name}\n")
    print(target)


if __name__ == "__main__":
    main()
