#!/usr/bin/env python3
"""Wine prefixes against wineboot's: WINEBOOT, made by `wineboot -i` with its
32-bit half, and MADE, by wine_boot_prefix without 32-bit code.

  compare_prefixes.py compare WINEBOOT MADE   every file and registry value
  compare_prefixes.py manifest WINEBOOT       the digest of a prefix, printed
  compare_prefixes.py check MANIFEST MADE     a prefix against a digest

The same files, byte for byte, and the same registry keys and values, but
for values that differ between any two wineboots and the few keys named
below. The devices' keys are left out: wineboot makes them in both, in the
order and at the pace the devices come up (the display's properties can come
after the rest on a busy machine), not the recipe. Prints what differs;
exits with 1 if anything does.
"""
import hashlib
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

# What the machine puts in a prefix made on it: its name, its processor and
# its devices (its serial ports, the display's adapters, mouse and keyboard).
# A manifest, made on another machine, leaves them out; a comparison of two
# prefixes made here, the devices' keys.
MACHINE_VALUES = [
    (r'System\\ControlSet001\\Control\\ComputerName\\(Active)?ComputerName', '"ComputerName"'),
    (r'System\\ControlSet001\\Services\\Tcpip\\Parameters', '"Hostname"'),
    (r'System\\ControlSet001\\Services\\Tcpip\\Parameters', '"NV Hostname"'),
    (r'Volatile Environment', '"LOGONSERVER"'),
    (r'Volatile Environment', '"USERDOMAIN"'),
    (r'System\\ControlSet001\\Control\\Session Manager\\Environment', '"PROCESSOR_IDENTIFIER"'),
    (r'System\\ControlSet001\\Control\\Session Manager\\Environment', '"PROCESSOR_LEVEL"'),
    (r'System\\ControlSet001\\Control\\Session Manager\\Environment', '"PROCESSOR_REVISION"'),
]
MACHINE_KEYS = re.compile(r'System\\ControlSet001\\(Enum|Control\\DeviceClasses|Control\\Class\\\{[^}]+\}\\#[^\\]*'
                          r'|Services\\winehid)(\\.*)?$')
MACHINE_FILES = re.compile(r'(dosdevices|drive_c/windows/system32/driverstore/filerepository)/.*')

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
    """A Wine registry file as {key: {value name: data}}, without the values
    that vary and with device instances named by their contents."""
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
    for key, vals in keys.items():
        for name in [n for n in vals if varies(key, n)]:
            del vals[name]
    return unnumber_instances(keys)


INSTANCE = re.compile(r'(System\\ControlSet001\\Control\\Class\\\{[0-9A-F-]+\})\\(\d{4})((?:\\.*)?)$', re.I)


def instance_of(m):
    """(class GUID, instance number) of an INSTANCE match."""
    return m.group(1).rsplit('\\', 1)[1].upper(), m.group(2)


def unnumber_instances(keys):
    """Names each device instance (Class\\{guid}\\0003) by a digest of its
    keys and values instead, where the instance and the drivers' references
    to it are renamed alike; instances alike in all are counted."""
    contents = {}
    for key, vals in keys.items():
        m = INSTANCE.match(key)
        if m:
            contents.setdefault(instance_of(m), []).append((m.group(3), sorted(vals.items())))
    names = {inst: '#' + hashlib.sha256(repr(sorted(c)).encode()).hexdigest()[:12] for inst, c in contents.items()}

    def rename(text):
        def one(m):
            new = names.get((m.group(1).upper(), m.group(2)))
            return m.group(0) if new is None else m.group(0)[:-4] + new
        return re.sub(r'(\{[0-9A-F-]+\})\\\\(\d{4})', one, text, flags=re.I)

    out = {}
    for key, vals in keys.items():
        m = INSTANCE.match(key)
        if m:
            key = '%s\\%s%s' % (m.group(1), names[instance_of(m)], m.group(3))
            if key in out:
                out[key]['#instances'] = str(int(out[key].get('#instances', '1')) + 1)
                continue
        out[key] = {name: rename(data) for name, data in vals.items()}
    return out


def varies(key, name):
    return any(re.fullmatch(k, key) and name == n for k, n in VARIES)


def compare_registries(a, b, out):
    bad = 0
    for key in sorted(set(a) | set(b)):
        if MACHINE_KEYS.match(key):
            continue
        if key not in a or key not in b:
            where = 'wineboot' if key in a else 'recipe'
            known = key in DIFFERENT
            out.append('%s [%s] only from the %s' % ('known:' if known else 'DIFFERS:', key, where))
            bad += not known
            continue
        for name in sorted(set(a[key]) | set(b[key])):
            if a[key].get(name) == b[key].get(name):
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


# The digest: a line per folder of files, and a line per part of each
# registry file; a part is split by its subkeys while it holds more than
# this many keys, so that a difference is found near where it is.
PART_KEYS = 400


def digest(items):
    return hashlib.sha256(repr(sorted(items)).encode('utf-8', 'surrogateescape')).hexdigest()[:16]


def file_digests(root):
    folders = {}
    for rel, entry in files(root).items():
        if MACHINE_FILES.fullmatch(rel):
            continue
        if entry[0] == 'file':
            with open(os.path.join(root, rel), 'rb') as f:
                entry += (hashlib.sha256(f.read()).hexdigest(),)
        folders.setdefault(os.path.dirname(rel), []).append((os.path.basename(rel),) + entry)
    return {folder: (len(entries), digest(entries)) for folder, entries in folders.items()}


def registry_keys(root, name):
    """A registry as the manifest has it: without the known differences and
    without what the machine put in it."""
    keys = {}
    for key, vals in read_registry(os.path.join(root, name)).items():
        if key in DIFFERENT or MACHINE_KEYS.match(key):
            continue
        keys[key] = {n: d for n, d in vals.items()
                     if not any(re.fullmatch(k, key) and n == v for k, v in MACHINE_VALUES)}
    return keys


def split_parts(keys, part='', depth=0):
    """The parts of a registry: key prefixes. A part of more than PART_KEYS
    keys gives each subkey of more than a quarter of that a part of its own
    and keeps the rest."""
    inside = [k for k in keys if part_of(k, depth) == part]
    if len(inside) <= PART_KEYS:
        return [part]
    sizes = {}
    for key in inside:
        child = part_of(key, depth + 1)
        sizes[child] = sizes.get(child, 0) + 1
    big = sorted(c for c, n in sizes.items() if n > PART_KEYS // 4 and c != part)
    return [part] + [p for child in big for p in split_parts(inside, child, depth + 1)]


def part_of(key, depth):
    return '\\'.join(key.split('\\')[:depth])


def registry_digests(keys, parts):
    """Each key in the longest part that holds it."""
    parts, by_part = set(parts), {}
    for key, vals in keys.items():
        names = key.split('\\')
        part = next((p for p in ('\\'.join(names[:n]) for n in range(len(names), -1, -1)) if p in parts), '?')
        by_part.setdefault(part, []).append((key, sorted(vals.items())))
    return {part: (len(items), digest(items)) for part, items in by_part.items()}


def manifest(root, wine):
    lines = ['wine %s' % wine]
    lines += ['files %s %d %s' % ((folder or '.',) + d) for folder, d in sorted(file_digests(root).items())]
    for name in REGISTRIES:
        keys = registry_keys(root, name)
        digests = registry_digests(keys, split_parts(keys))
        lines += ['registry %s %d %s %s' % (name, d[0], d[1], part or '.') for part, d in sorted(digests.items())]
    return lines


def check(manifest_lines, root, wine, out):
    want_wine = manifest_lines[0].split(' ', 1)[1]
    if want_wine != wine:
        out.append('DIFFERS: the manifest is of %s, the Wine tree %s: make it again (check_same_as_wineboot.sh --manifest)'
                   % (want_wine, wine))
        return 1
    bad = 0
    want_files, want_parts, want_reg = {}, {}, {}
    for line in manifest_lines[1:]:
        kind, rest = line.split(' ', 1)
        if kind == 'files':
            folder, count, d = rest.rsplit(' ', 2)
            want_files['' if folder == '.' else folder] = (int(count), d)
        else:
            name, count, d, part = rest.split(' ', 3)
            part = '' if part == '.' else part
            want_parts.setdefault(name, []).append(part)
            want_reg[(name, part)] = (int(count), d)
    have_files = file_digests(root)
    for folder in sorted(set(want_files) | set(have_files)):
        if want_files.get(folder) != have_files.get(folder):
            out.append('DIFFERS: the files in %s: %s (wineboot) / %s (recipe)'
                       % (folder or '.', want_files.get(folder), have_files.get(folder)))
            bad += 1
    for name in REGISTRIES:
        have = registry_digests(registry_keys(root, name), want_parts.get(name, ['']))
        for part in sorted(set(p for n, p in want_reg if n == name) | set(have), key=str):
            want = want_reg.get((name, part))
            if want != have.get(part):
                out.append('DIFFERS: %s, the keys under [%s]: %s (wineboot) / %s (recipe)'
                           % (name, part, want, have.get(part)))
                bad += 1
    return bad


def main(argv):
    command, args = (argv[0], argv[1:]) if argv else (None, [])
    want = {'compare': 2, 'manifest': 2, 'check': 3}
    if want.get(command) != len(args):
        sys.stderr.write(__doc__)
        return 2
    out = []
    if command == 'manifest':
        print('\n'.join(manifest(args[0], args[1])))
        return 0
    if command == 'check':
        with open(args[0]) as f:
            bad = check(f.read().splitlines(), args[1], args[2], out)
        print('\n'.join(out))
        print('against the manifest: %s' % ('the same' if not bad else '%d parts differ' % bad))
        return 1 if bad else 0
    wineboot, made = args
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
