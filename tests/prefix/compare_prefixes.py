#!/usr/bin/env python3
"""Compares two Wine prefixes: WINEBOOT, made by `wineboot -i` with its
32-bit half, and MADE, by wine_boot_prefix without 32-bit code.

  compare_prefixes.py WINEBOOT MADE

The same files, byte for byte, and the same registry keys and values, but
for values that differ between any two wineboots and the few keys named
below. Prints what differs; exits with 1 if anything else does.
"""
import os
import re
import sys

REGISTRIES = ('system.reg', 'user.reg', 'userdef.reg')
# Not the prefix's: Debian's Wine notes its server's folder there.
NOT_COMPARED = {'wineserver'}

# Values that differ between any two prefixes wineboot makes: (key pattern,
# value name).
VARIES = [
    (r'Software\\Microsoft\\Cryptography', '"MachineGuid"'),
    (r'System\\ControlSet001\\Control\\Class\\\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\0000', '"DriverDateData"'),
    (r'System\\ControlSet001\\Control\\Class\\\{4D36E968-E325-11CE-BFC1-08002BE10318\}\\0000', '"DriverDate"'),
    (r'System\\ControlSet001\\Enum\\PCI\\.*\\Device Parameters', '"VideoID"'),
    (r'System\\ControlSet001\\Enum\\.*\\Properties\\\{[0-9A-F-]+\}\\[0-9A-F]{4}', '@'),
]

# Keys where the 32-bit install leaves what the recipe does not make.
DIFFERENT = {
    # The 32-bit install registers stdole2.tlb (which its list names first)
    # before olepro32's type library, the 64-bit one after: where both
    # describe an interface, the 32-bit view names olepro32's.
    r'Software\Classes\Wow6432Node\Interface\{4EF6100A-AF88-11D0-9846-00C04FC29993}',
    r'Software\Classes\Wow6432Node\Interface\{4EF6100A-AF88-11D0-9846-00C04FC29993}\ProxyStubClsid32',
    r'Software\Classes\Wow6432Node\Interface\{7BF80981-BF32-101A-8BBB-00AA00300CAB}\TypeLib',
    r'Software\Classes\Wow6432Node\Interface\{BEF6E003-A874-101A-8BBA-00AA00300CAB}\TypeLib',
    # A key both views share: the 32-bit iexplore registers itself last.
    r'Software\Microsoft\Windows\CurrentVersion\App Paths\iexplore.exe',
    # An empty key a 32-bit process makes through the 32-bit view's link.
    r'Software\Microsoft\Windows NT\CurrentVersion\NetworkCards',
}


def read_registry(path):
    """A Wine registry file as {key: {value name: data}}."""
    keys, values, name = {}, None, None
    with open(path, encoding='utf-8', errors='surrogateescape') as f:
        for line in f:
            line = line.rstrip('\n')
            m = re.match(r'^\[(.*)\] \d+$', line)
            if m:
                values = keys.setdefault(m.group(1).replace('\\\\', '\\'), {})
                name = None
            elif values is None or not line or line.startswith(('#time', '#class', ';')):
                continue
            elif line.startswith('#link'):
                values['#link'] = ''
            elif line.startswith('  ') and name is not None:
                values[name] += line.strip()
            else:
                m = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
                if m:
                    name = m.group(1)
                    values[name] = m.group(2)
    return keys


def varies(key, name):
    return any(re.fullmatch(k, key) and name == n for k, n in VARIES)


def compare_registries(a, b, out):
    bad = 0
    for key in sorted(set(a) | set(b)):
        if key not in a or key not in b:
            where = 'wineboot' if key in a else 'recipe'
            known = key in DIFFERENT
            out.append('%s [%s] only from the %s' % ('known:' if known else 'DIFFERS:', key, where))
            bad += not known
            continue
        for name in sorted(set(a[key]) | set(b[key])):
            if a[key].get(name) == b[key].get(name) or varies(key, name):
                continue
            known = key in DIFFERENT
            out.append('%s [%s] %s: %s (wineboot) / %s (recipe)' % (
                'known:' if known else 'DIFFERS:', key, name, a[key].get(name), b[key].get(name)))
            bad += not known
    return bad


def files(root):
    found = {}
    for folder, dirs, names in os.walk(root):
        for name in dirs + names:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if rel in REGISTRIES or rel in NOT_COMPARED:
                continue
            if os.path.islink(path):
                found[rel] = ('link', os.readlink(path))
            elif os.path.isdir(path):
                found[rel] = ('folder',)
            else:
                found[rel] = ('file', os.stat(path).st_mode & 0o777)
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(folder, d))]
    return found


def same_bytes(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, 'rb') as fa, open(b, 'rb') as fb:
        while True:
            ca, cb = fa.read(1 << 20), fb.read(1 << 20)
            if ca != cb:
                return False
            if not ca:
                return True


def compare_files(a, b, out):
    fa, fb = files(a), files(b)
    bad = 0
    for rel in sorted(set(fa) | set(fb)):
        if fa.get(rel) != fb.get(rel):
            out.append('DIFFERS: %s: %s (wineboot) / %s (recipe)' % (rel, fa.get(rel), fb.get(rel)))
            bad += 1
        elif fa[rel][0] == 'file' and not same_bytes(os.path.join(a, rel), os.path.join(b, rel)):
            out.append('DIFFERS: %s: other bytes' % rel)
            bad += 1
    return bad, len(fa)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    wineboot, made = argv
    out = []
    bad, count = compare_files(wineboot, made, out)
    keys = 0
    for name in REGISTRIES:
        a, b = read_registry(os.path.join(wineboot, name)), read_registry(os.path.join(made, name))
        bad += compare_registries(a, b, out)
        keys += len(a)
    print('\n'.join(out))
    print('%d files and folders, %d registry keys: %s' % (count, keys, 'the same' if not bad else '%d differ' % bad))
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
