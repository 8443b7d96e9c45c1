#!/usr/bin/env python3
"""The 32-bit half of a Wine prefix, made without running 32-bit code.

`wineboot -i` makes the 64-bit half, then has the 32-bit rundll32 run
wine.inf's Wow64Install section, which only a kernel that runs 32-bit code
can do. This does that section's work from outside, with the Wine tree:

  files TREE PREFIX          its files: the 32-bit builtins where its fake-DLL
                             lists put them (syswow64, Program Files (x86),
                             ...), its NLS files, and the x86 builds of the
                             side-by-side assemblies
  inf TREE OUT               an INF whose install section QvWow64 makes the
                             section's AddReg changes in the 32-bit view, run
                             by the 64-bit setupapi
  mirror TREE IN.reg... OUT  the 32-bit twins of the 64-bit half's DLL
                             registrations in IN (`reg export /reg:64` of
                             HKLM\\Software and of the print environments), for
                             `reg import /reg:32`
  no32 COMMAND ARGS...       runs COMMAND where no IA-32 system call gets
                             through, as on a kernel without IA-32 emulation
TREE is the Wine tree's root.
"""
import fnmatch
import os
import re
import shutil
import struct
import sys

LIB = 'usr/lib/x86_64-linux-gnu/wine/i386-windows'
INF = 'usr/share/wine/wine.inf'
NLS = 'usr/share/wine/nls'
WOW64_SECTION = 'Wow64Install.ntx86'
NATIVE_SECTION = 'DefaultInstall.ntamd64'

# Where wine.inf's directory ids are for a 32-bit program, under drive_c
# (the spooler's folders are not redirected).
DIRIDS = {
    '10': 'windows',
    '11': 'windows/syswow64',
    '12': 'windows/syswow64/drivers',
    '16422': 'Program Files (x86)',
    '16427': 'Program Files (x86)/Common Files',
    '52': 'windows/system32/spool/drivers',
    '55': 'windows/system32/spool/prtprocs/w32x86',
    '66000': 'windows/system32/spool/drivers/w32x86',
}


# --- wine.inf -------------------------------------------------------------------

def strip_comment(line):
    """LINE without its comment (a ';' outside quotes) and blanks around."""
    quoted = False
    for i, c in enumerate(line):
        if c == '"':
            quoted = not quoted
        elif c == ';' and not quoted:
            return line[:i].strip()
    return line.strip()


class Inf:
    """wine.inf's sections: raw lines, and logical lines without comments."""

    def __init__(self, text):
        self.raw, self.titles = {}, {}
        current = None
        for line in text.splitlines():
            m = re.match(r'\s*\[([^\]]+)\]\s*$', line)
            if m:
                current = m.group(1).lower()
                self.titles.setdefault(current, m.group(1))
                self.raw.setdefault(current, [])
            elif current is not None:
                self.raw[current].append(line)
        self.strings = {}
        for line in self.lines('Strings'):
            k, _, v = line.partition('=')
            self.strings[k.strip().lower()] = v.strip().strip('"')

    @classmethod
    def of_tree(cls, tree):
        with open(os.path.join(tree, INF), encoding='utf-8') as f:
            return cls(f.read())

    def lines(self, section):
        """SECTION's lines, continuations joined, without comments and blanks."""
        out, pending = [], ''
        for line in self.raw.get(section.lower(), []):
            line = pending + line
            pending = ''
            if line.rstrip().endswith('\\'):
                pending = line.rstrip()[:-1]
                continue
            line = strip_comment(line)
            if line:
                out.append(line)
        return out

    def directive(self, section, key):
        """The values of KEY=a,b,... in SECTION."""
        for line in self.lines(section):
            k, _, v = line.partition('=')
            if k.strip().lower() == key.lower():
                return [x.strip() for x in v.split(',') if x.strip()]
        return []

    def expand(self, text):
        """TEXT with the [Strings] it names (%Name%) put in."""
        return re.sub(r'%(\w+)%', lambda m: self.strings.get(m.group(1).lower(), m.group(0)), text)


def fields(line, count):
    """The first COUNT comma-separated fields of an INF line, unquoted."""
    f = [x.strip().strip('"') for x in line.split(',')]
    return f[:count] + [''] * (count - len(f))


# --- files ----------------------------------------------------------------------

def dos_header(lfanew):
    """The DOS header and signature in front of Wine's placeholders."""
    dos = struct.pack('<2s13H', b'MZ', 0x40, 1, 0, lfanew // 16, 0, 0xffff, 0, 0xb8, 0, 0, 0,
                      lfanew, 0)
    return dos.ljust(0x3c, b'\0') + struct.pack('<I', lfanew) + b'Wine placeholder DLL'.ljust(0x20, b'\0')


def placeholder_pe(name):
    """The 32-bit image Wine writes for a listed file it has no builtin of:
    its entry returns TRUE (an .exe's) or FALSE (a DLL's), and no more."""
    exe = name.lower().endswith('.exe')
    code = bytes([0xb8, 1, 0, 0, 0, 0xc2, 4, 0]) if exe else bytes([0x31, 0xc0, 0xc2, 0x0c, 0])
    machine_i386, dll = 0x14c, 0x2000
    header = struct.pack('<4sHHIIIHH', b'PE\0\0', machine_i386, 2, 0, 0, 0, 0xe0, 0 if exe else dll)
    directories = [(0, 0)] * 16
    directories[5] = (0x2000, 8)  # base relocations: one empty block
    optional = struct.pack('<HBB9I6H4I2H6I', 0x10b, 1, 0, len(code), 0, 0, 0x1000, 0x1000, 0,
                           0x10000000, 0x1000, 0x200, 1, 0, 1, 0, 4, 0, 0, 0x3000, 0x200, 0,
                           2, 0, 0, 0, 0, 0, 0, 16)
    optional += b''.join(struct.pack('<II', *d) for d in directories)
    sections = struct.pack('<8s6I2HI', b'.text', 0x1000, 0x1000, len(code), 0x200, 0, 0, 0, 0, 0x60000020)
    sections += struct.pack('<8s6I2HI', b'.reloc', 0x1000, 0x2000, 8, 0x400, 0, 0, 0, 0, 0x42000040)
    head = dos_header(0x60) + header + optional + sections
    return head.ljust(0x200, b'\0') + code.ljust(0x200, b'\0') + bytes(8)


class PeImage:
    """Just enough of a PE file to find an export."""

    def __init__(self, data):
        self.data = data
        lfanew = struct.unpack_from('<I', data, 0x3c)[0]
        count, = struct.unpack_from('<H', data, lfanew + 6)
        optsize, = struct.unpack_from('<H', data, lfanew + 20)
        self.optional = lfanew + 24
        self.sections = []
        for i in range(count):
            vsize, va, rawsize, raw = struct.unpack_from('<4I', data, self.optional + optsize + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError('RVA %#x is in no section' % rva)

    def u32(self, rva):
        return struct.unpack_from('<I', self.data, self.offset(rva))[0]

    def export(self, name):
        """The file offset of export NAME, or None."""
        magic, = struct.unpack_from('<H', self.data, self.optional)
        directory = self.optional + (96 if magic == 0x10b else 112)
        table, = struct.unpack_from('<I', self.data, directory)
        if not table:
            return None
        exports = self.offset(table)
        _, count, functions, names, ordinals = struct.unpack_from('<5I', self.data, exports + 20)
        for i in range(count):
            at = self.offset(self.u32(names + 4 * i))
            if self.data[at:self.data.index(b'\0', at)] == name:
                ordinal, = struct.unpack_from('<H', self.data, self.offset(ordinals + 2 * i))
                return self.offset(self.u32(functions + 4 * ordinal))
        return None


def ne_placeholder(data):
    """What Wine installs for a 16-bit builtin: the 16-bit module built into
    it (export __wine_spec_dos_header), whose size it keeps in e_res2."""
    at = PeImage(data).export(b'__wine_spec_dos_header')
    if at is None:
        raise ValueError('no 16-bit module in this builtin')
    size, = struct.unpack_from('<I', data, at + 0x28)
    module = bytearray(data[at:at + size])
    module[0x28:0x2c] = bytes(4)
    return bytes(module)


class Prefix:
    """A prefix's drive C:, its folders found regardless of case, as Wine does."""

    def __init__(self, root):
        self.root = os.path.join(root, 'drive_c')

    def folder(self, rel):
        path = self.root
        for part in [p for p in re.split(r'[\\/]', rel) if p]:
            names = os.listdir(path) if os.path.isdir(path) else []
            found = [n for n in names if n.lower() == part.lower()]
            path = os.path.join(path, found[0] if found else part)
            os.makedirs(path, exist_ok=True)
        return path

    def put(self, folder, name, data=None, source=None):
        dest = os.path.join(self.folder(folder), name)
        if source is not None:
            shutil.copyfile(source, dest)
        else:
            with open(dest, 'wb') as f:
                f.write(data)
        os.chmod(dest, 0o755 if name.lower().endswith(('.exe', '.com')) else 0o644)


# Files that registering a DLL (RegisterDlls) writes beside it, alike for
# both halves.
REGISTRATION_FILES = ['winevulkan.json']


def installed_name(builtin):
    """A builtin's name in the prefix: a 16-bit one drops its '16'."""
    return builtin[:-2] if builtin.endswith('16') else builtin


def install(prefix, lib, folder, name, builtin):
    path = os.path.join(lib, builtin)
    if not os.path.isfile(path):
        prefix.put(folder, name, placeholder_pe(name))
    elif builtin.endswith('16'):
        with open(path, 'rb') as f:
            prefix.put(folder, name, ne_placeholder(f.read()))
    else:
        prefix.put(folder, name, source=path)


def fake_dll_plan(inf, builtins):
    """What WineFakeDlls of the 32-bit install section puts where, as
    [(folder, name, builtin)]: a line's name (or '-': none), or, for a
    wildcard, each builtin that matches and that no line names and no
    wildcard before took."""
    lines = [fields(l, 4) for s in inf.directive(WOW64_SECTION, 'WineFakeDlls') for l in inf.lines(s)]
    named = set(name.lower() for _, _, name, _ in lines if name and '*' not in name)
    taken, plan = [], []
    for dirid, sub, name, source in lines:
        folder = DIRIDS[dirid] + ('/' + sub.replace('\\', '/') if sub else '')
        if not name:
            plan.append((folder, None, None))
        elif '*' in name:
            for builtin in builtins:
                target = installed_name(builtin).lower()
                if fnmatch.fnmatch(target, name.lower()) and target not in named \
                        and not any(fnmatch.fnmatch(target, t) for t in taken) and source != '-':
                    plan.append((folder, installed_name(builtin), builtin))
            taken.append(name.lower())
        elif source != '-':
            plan.append((folder, name, source or name))
    return plan


def fill_files(tree, root):
    inf = Inf.of_tree(tree)
    lib = os.path.join(tree, LIB)
    prefix = Prefix(root)
    for folder, name, builtin in fake_dll_plan(inf, sorted(os.listdir(lib))):
        if name is None:
            prefix.folder(folder)
        else:
            install(prefix, lib, folder, name, builtin)
    for name in REGISTRATION_FILES:
        native = os.path.join(prefix.folder('windows/system32'), name)
        if os.path.isfile(native):
            prefix.put(DIRIDS['11'], name, source=native)
    for section in inf.directive(WOW64_SECTION, 'CopyFiles'):
        folder = DIRIDS[inf.directive('DestinationDirs', section)[0]]
        for name in inf.lines(section):
            prefix.put(folder, name, source=os.path.join(tree, NLS, name))
    # The side-by-side assemblies that the 64-bit builtins installed, in
    # their x86 build: the same manifest for the other processor.
    winsxs = prefix.folder('windows/winsxs')
    for entry in sorted(os.listdir(winsxs)):
        if entry.startswith('amd64_'):
            twin = 'windows/winsxs/x86_' + entry[len('amd64_'):]
            for name in sorted(os.listdir(os.path.join(winsxs, entry))):
                prefix.put(twin, name, source=os.path.join(lib, name))
    manifests = prefix.folder('windows/winsxs/manifests')
    for name in sorted(os.listdir(manifests)):
        if name.startswith('amd64_'):
            with open(os.path.join(manifests, name), 'rb') as f:
                text = f.read().replace(b'processorArchitecture="amd64"', b'processorArchitecture="x86"')
            prefix.put('windows/winsxs/manifests', 'x86_' + name[len('amd64_'):], text)


# --- registry: the install section's AddReg --------------------------------------

def to_32bit_view(line, inf):
    """An AddReg line as the 32-bit setupapi applies it, for the 64-bit one:
    HKLM\\Software is Software\\Wow6432Node (whose links lead to the keys both
    share), and Program Files is Program Files (x86)."""
    m = re.match(r'(HKLM\s*,\s*"?)([^,"]*)', line, flags=re.I)
    if m:
        key = re.sub(r'^Software\\', r'Software\\Wow6432Node\\', inf.expand(m.group(2)), flags=re.I)
        line = m.group(1) + key + line[m.end():]
    return line.replace('%16422%', '%16426%').replace('%16427%', '%16428%')


def write_inf(tree, out):
    inf = Inf.of_tree(tree)
    addreg = inf.directive(WOW64_SECTION, 'AddReg')
    text = ['[version]', 'signature="$CHICAGO$"', '', '[QvWow64]', 'AddReg=' + ','.join(addreg), '']
    for name in addreg:
        text += ['[%s]' % inf.titles[name.lower()]] + [to_32bit_view(l, inf) for l in inf.raw[name.lower()]]
        text.append('')
    text += ['[Strings]'] + inf.raw['strings']
    with open(out, 'w', encoding='utf-8') as f:
        f.write('\n'.join(text) + '\n')


# --- registry: the DLLs' registrations --------------------------------------------

def read_reg(path):
    """A .reg file (UTF-16) as [(key, [value lines, continuations joined])]."""
    with open(path, 'rb') as f:
        text = f.read().decode('utf-16')
    keys, values, pending = [], None, ''
    for line in text.splitlines():
        line = pending + line.strip() if pending else line
        pending = ''
        if line.endswith('\\') and values is not None and not line.startswith('['):
            pending = line[:-1]
            continue
        if line.startswith('[') and line.endswith(']'):
            values = []
            keys.append((line[1:-1], values))
        elif line.strip() and values is not None:
            values.append(line)
    return keys


def reg_escaped(path):
    return path.replace('\\', '\\\\')


class Paths:
    """The paths a 32-bit registration writes where the 64-bit one wrote
    others: Program Files (x86), and syswow64 for a file the fake-DLL lists
    put there by that name."""

    def __init__(self, inf):
        self.pairs = [('C:\\Program Files\\', 'C:\\Program Files (x86)\\')]
        for s in inf.directive(WOW64_SECTION, 'WineFakeDlls'):
            for dirid, sub, name, _ in (fields(l, 4) for l in inf.lines(s)):
                if dirid == '10' and sub.lower() == 'syswow64' and name and '*' not in name:
                    self.pairs.append(('C:\\windows\\system32\\' + name, 'C:\\windows\\syswow64\\' + name))

    def rewrite(self, text, escape=lambda s: s):
        for old, new in self.pairs:
            text = re.sub(re.escape(escape(old)), lambda _: escape(new), text, flags=re.I)
        return text

    def value(self, line):
        """A value line of a .reg file with the 32-bit paths."""
        m = re.match(r'(@|"(?:[^"\\]|\\.)*")=(.*)', line)
        name, data = m.groups()
        hexstr = re.match(r'hex\(([27])\):(.*)', data)
        if hexstr:
            raw = bytes(int(b, 16) for b in hexstr.group(2).replace(' ', '').split(',') if b)
            raw = self.rewrite(raw.decode('utf-16-le')).encode('utf-16-le')
            data = 'hex(%s):' % hexstr.group(1) + ','.join('%02x' % b for b in raw)
        elif data.startswith('"'):
            data = self.rewrite(data, reg_escaped)
        return name + '=' + data


# Keys that the 64-bit half's own processes write at run time, under
# HKLM\Software, relative: the 32-bit install does not.
RUNTIME_KEYS = {
    'microsoft\\cryptography',                  # the machine's id, by wineboot
    'microsoft\\windows\\currentversion\\fonts',  # the fonts the 64-bit gdi32 found
}


def native_only_keys(inf):
    """The keys under HKLM\\Software (relative, lower case) that wine.inf
    writes for the 64-bit half alone: in the AddReg sections that its install
    section and its services name and the 32-bit one does not."""
    names = set(s.lower() for s in inf.directive(NATIVE_SECTION, 'AddReg'))
    names -= set(s.lower() for s in inf.directive(WOW64_SECTION, 'AddReg'))
    for line in inf.lines(NATIVE_SECTION + '.Services'):
        key, _, value = line.partition('=')
        service = fields(value, 3)[2]
        if key.strip().lower() == 'addservice' and service:
            names.update(s.lower() for s in inf.directive(service, 'AddReg'))
    keys = set()
    for name in names:
        for line in inf.lines(name):
            root, key = fields(line, 2)
            key = inf.expand(key)
            if root.upper() == 'HKLM' and key.lower().startswith('software\\'):
                keys.add(key[len('software\\'):].lower())
    return keys


def redirected_classes(inf):
    """The class trees with a 32-bit twin (the others are shared): those that
    wine.inf's [Wow64] makes under Classes\\Wow6432Node."""
    names = set()
    for line in inf.lines('Wow64'):
        m = re.match(r'HKLM,Software\\Classes\\Wow6432Node\\([^,]+),,16$', line, flags=re.I)
        if m:
            names.add(m.group(1).lower())
    return names


SOFTWARE = 'HKEY_LOCAL_MACHINE\\Software\\'
WOW6432 = SOFTWARE + 'Wow6432Node\\'
PRINT_ENVIRONMENTS = 'HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Environments\\'


def under(key, prefix):
    return key.lower().startswith(prefix.lower())


class Twins:
    """Which of the 64-bit half's keys a 32-bit registration of the same DLLs
    makes a twin of, and the twin's name (for `reg import /reg:32`, which
    redirects it as a 32-bit program's writes are)."""

    def __init__(self, inf, keys):
        self.classes = redirected_classes(inf)
        self.skip = native_only_keys(inf) | RUNTIME_KEYS
        self.existing = set(k.lower() for k, _ in keys)
        # The 32-bit view's own keys that have values, and its links to keys
        # the two views share.
        self.own, self.links = set(), set()
        for key, values in keys:
            if under(key, WOW6432):
                rel = key[len(WOW6432):].lower()
                if any(v.startswith('"SymbolicLinkValue"') for v in values):
                    self.links.add(rel)
                elif values:
                    self.own.add(rel)

    def shared(self, rel):
        parts = rel.split('\\')
        return any('\\'.join(parts[:i]) in self.links for i in range(1, len(parts) + 1))

    def of(self, key):
        """KEY's twin, or None."""
        if under(key, PRINT_ENVIRONMENTS + 'Windows x64\\Print Processors\\'):
            # Print processors register for their own processor.
            twin = PRINT_ENVIRONMENTS + 'Windows NT x86' + key[len(PRINT_ENVIRONMENTS + 'Windows x64'):]
            return None if twin.lower() in self.existing else twin
        if not under(key, SOFTWARE) or under(key, WOW6432):
            return None
        rel = key[len(SOFTWARE):].lower()
        parts = rel.split('\\')
        if parts[0] == 'classes':
            if len(parts) > 1 and parts[1] in self.classes:
                return key
            if len(parts) == 6 and parts[1] == 'typelib' and parts[5] == 'win64':
                return key[:-len('win64')] + 'win32'
            return None
        if self.shared(rel) or rel in self.own or rel in self.skip:
            return None
        return key


def mirror(tree, exported, out):
    inf = Inf.of_tree(tree)
    keys = [k for path in exported for k in read_reg(path)]
    paths, twins = Paths(inf), Twins(inf, keys)
    parents = set(k.rsplit('\\', 1)[0].lower() for k, _ in keys)
    lines = ['Windows Registry Editor Version 5.00', '']
    for key, values in keys:
        twin = twins.of(key)
        # A key without values comes with its subkeys, if they have twins.
        if twin and (values or key.lower() not in parents):
            lines += ['[%s]' % twin] + [paths.value(v) for v in values] + ['']
    with open(out, 'wb') as f:
        f.write(('\r\n'.join(lines) + '\r\n').encode('utf-16'))


# --- a kernel without IA-32 ---------------------------------------------------------

def run_without_ia32(argv):
    """Execs ARGV where any IA-32 system call kills its process, as a kernel
    without IA-32 emulation ends a 32-bit program: Wine's 32-bit processes
    die as they start, its 64-bit ones are not hindered."""
    import ctypes
    libc = ctypes.CDLL(None, use_errno=True)
    load_word, jump_if_equal, ret = 0x20, 0x15, 0x06
    audit_arch_x86_64, kill_process, allow = 0xc000003e, 0x80000000, 0x7fff0000
    program = b''.join(struct.pack('<HBBI', *i) for i in [
        (load_word, 0, 0, 4),  # seccomp_data.arch
        (jump_if_equal, 1, 0, audit_arch_x86_64),
        (ret, 0, 0, kill_process),
        (ret, 0, 0, allow)])
    buf = ctypes.create_string_buffer(program)

    class SockFprog(ctypes.Structure):
        _fields_ = [('len', ctypes.c_ushort), ('filter', ctypes.c_void_p)]

    fprog = SockFprog(len(program) // 8, ctypes.addressof(buf))
    pr_set_no_new_privs, pr_set_seccomp, seccomp_mode_filter = 38, 22, 2
    if libc.prctl(pr_set_no_new_privs, 1, 0, 0, 0) or \
            libc.prctl(pr_set_seccomp, seccomp_mode_filter, ctypes.byref(fprog), 0, 0):
        # Then wineboot makes the 32-bit half itself where the kernel runs
        # 32-bit code, and the files and keys laid over it are the same.
        sys.stderr.write('prefix32.py: no seccomp filter here (%s): IA-32 system calls go through\n'
                         % os.strerror(ctypes.get_errno()))
    os.execvp(argv[0], argv)


def main(argv):
    command, args = (argv[0], argv[1:]) if argv else ('', [])
    if command == 'files' and len(args) == 2:
        fill_files(*args)
    elif command == 'inf' and len(args) == 2:
        write_inf(*args)
    elif command == 'mirror' and len(args) >= 3:
        mirror(args[0], args[1:-1], args[-1])
    elif command == 'no32' and args:
        run_without_ia32(args)
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
