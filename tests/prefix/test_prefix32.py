#!/usr/bin/env python3
"""scripts/prefix32.py on a small Wine tree and prefix of its own."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, '..', '..', 'scripts', 'prefix32.py')
sys.path.insert(0, os.path.dirname(SCRIPT))
import prefix32  # noqa: E402

WINE_INF = r'''[version]
signature="$CHICAGO$"

[DefaultInstall.ntamd64]
AddReg=Native,Common
WineFakeDlls=FakeDllsWin64,FakeDlls

[DefaultInstall.ntamd64.Services]
AddService=Svc,0,SvcService

[SvcService]
AddReg=SvcKeys
DisplayName="Service"

[SvcKeys]
HKR,Parameters,"ServiceDll",,"%11%\svc.dll"
HKLM,%CurrentVersionNT%\SvcHost,"netsvcs",0x00010008,"svc"

[Wow64Install.ntx86]
RegisterDlls=RegisterDllsSection
WineFakeDlls=FakeDllsWin32,FakeDllsWow64
CopyFiles=NlsFiles
AddReg=\
    Common

[Native]
HKLM,Software\Microsoft\Wow64\x86,,2,"wow64cpu.dll"

[Common]
HKCU,%CurrentVersion%\Run,,16
HKLM,%CurrentVersion%,"ProgramFilesDir",,"%16422%"
HKLM,SOFTWARE\Microsoft\Thing,"Relay",2,"a;b" ; the list, not a comment
HKLM,System\CurrentControlSet\Control\X,"Y",,"%16427%"
HKLM,%CurrentVersionNT%,"DigitalProductId",1,00,00,\
00,00

[FakeDllsWin32]
10,,rundll.exe,rundll.exe16
10,twain_32,sane.ds
11,,ddhelp.exe

[FakeDllsWow64]
; a folder first
11,mui,
11,wbem,wmic.exe
10,syswow64,stdole2.tlb
11,,conhost.exe,-
16422,Internet Explorer,iexplore.exe
12,,*.sys,-
11,,*.msstyles,-
11,,*

[Wow64]
HKLM,Software\Classes\Wow6432Node\CLSID,,16
HKLM,Software\Classes\Wow6432Node\Interface,,16
HKLM,Software\Wow6432Node\Microsoft\Shared,"SymbolicLinkValue",0x60000,"\Registry\Machine\Software\Microsoft\Shared"

[DestinationDirs]
NlsFiles = 11

[NlsFiles]
c_1.nls

[Strings]
CurrentVersion="Software\Microsoft\Windows\CurrentVersion"
CurrentVersionNT="Software\Microsoft\Windows NT\CurrentVersion"
'''

BUILTINS = ['kernel32.dll', 'comctl32.dll', 'wmic.exe', 'conhost.exe', 'iexplore.exe',
            'stdole2.tlb', 'cng.sys', 'light.msstyles']


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def pe_with_export(name, blob):
    """A minimal PE32 whose only export NAME points at BLOB."""
    base = 0x1000  # the section's address; its data is at file offset 0x200
    names_at, functions_at, ordinals_at, name_at, blob_at = 0x28, 0x2c, 0x30, 0x34, 0x34 + 0x40
    exports = struct.pack('<10I', 0, 0, 0, 0, 0, 1, 1, base + functions_at, base + names_at,
                          base + ordinals_at)
    section = bytearray(blob_at + len(blob))
    section[0:len(exports)] = exports
    section[names_at:names_at + 4] = struct.pack('<I', base + name_at)
    section[name_at:name_at + len(name) + 1] = name + b'\0'
    section[functions_at:functions_at + 4] = struct.pack('<I', base + blob_at)
    section[ordinals_at:ordinals_at + 2] = struct.pack('<H', 0)
    section[blob_at:] = blob
    optional = bytearray(0xe0)
    struct.pack_into('<H', optional, 0, 0x10b)
    struct.pack_into('<II', optional, 96, base, 40)  # the export directory
    header = b'MZ'.ljust(0x3c, b'\0') + struct.pack('<I', 0x40)
    header += struct.pack('<4sHHIIIHH', b'PE\0\0', 0x14c, 1, 0, 0, 0, len(optional), 0x2102) + optional
    header += struct.pack('<8s6I2HI', b'.data', len(section), base, len(section), 0x200, 0, 0, 0, 0, 0)
    return header.ljust(0x200, b'\0') + bytes(section)


def ne_module(tag, size=0x80):
    """A 16-bit module as a 16-bit builtin carries it: its size in e_res2."""
    module = bytearray(size)
    module[0:2] = b'MZ'
    struct.pack_into('<I', module, 0x28, size)
    module[0x40:0x40 + len(tag)] = tag
    return bytes(module)


class Fixture(unittest.TestCase):
    """A Wine tree (wine.inf, 32-bit builtins, NLS files) and a prefix as
    wineboot leaves it where no 32-bit code runs."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.tree = os.path.join(self.dir, 'tree')
        self.lib = os.path.join(self.tree, prefix32.LIB)
        os.makedirs(self.lib)
        os.makedirs(os.path.join(self.tree, prefix32.NLS))
        with open(os.path.join(self.tree, prefix32.INF), 'w', encoding='utf-8') as f:
            f.write(WINE_INF)
        for name in BUILTINS:
            self.write(os.path.join(self.lib, name), ('32-bit ' + name).encode())
        self.write(os.path.join(self.lib, 'rundll.exe16'),
                   pe_with_export(b'__wine_spec_dos_header', ne_module(b'rundll')))
        self.write(os.path.join(self.tree, prefix32.NLS, 'c_1.nls'), b'nls')
        self.prefix = os.path.join(self.dir, 'prefix')
        windows = os.path.join(self.prefix, 'drive_c', 'windows')
        self.write(os.path.join(windows, 'system32', 'kernel32.dll'), b'64-bit kernel32.dll')
        self.write(os.path.join(windows, 'system32', 'winevulkan.json'), b'{"ICD": {}}')
        self.write(os.path.join(windows, 'winsxs', 'amd64_cc_1', 'comctl32.dll'), b'64-bit comctl32.dll')
        self.write(os.path.join(windows, 'winsxs', 'manifests', 'amd64_cc_1.manifest'),
                   b'<assemblyIdentity name="cc" processorArchitecture="amd64"/>\r\n')
        os.makedirs(os.path.join(windows, 'Twain_32'))  # made by wineboot, in its own case
        self.inf = prefix32.Inf.of_tree(self.tree)

    def write(self, path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)

    def read(self, rel):
        return read(os.path.join(self.prefix, 'drive_c', rel))


class InfTest(Fixture):
    def test_strip_comment(self):
        for line, expected in [('11,,*  ; all', '11,,*'), ('; only a comment', ''),
                               ('HKLM,K,"V",,"a;b" ; c', 'HKLM,K,"V",,"a;b"'), ('  x  ', 'x')]:
            with self.subTest(line=line):
                self.assertEqual(prefix32.strip_comment(line), expected)

    def test_lines_join_continuations(self):
        self.assertEqual(self.inf.directive('Wow64Install.ntx86', 'AddReg'), ['Common'])
        self.assertIn('HKLM,%CurrentVersionNT%,"DigitalProductId",1,00,00,00,00', self.inf.lines('Common'))
        self.assertEqual(self.inf.lines('FakeDllsWow64')[0], '11,mui,')

    def test_to_32bit_view(self):
        for line, expected in [
            ('HKLM,%CurrentVersion%,"ProgramFilesDir",,"%16422%"',
             r'HKLM,Software\Wow6432Node\Microsoft\Windows\CurrentVersion,"ProgramFilesDir",,"%16426%"'),
            (r'HKLM,SOFTWARE\Microsoft\Thing,"Relay",2,"a;b"',
             r'HKLM,Software\Wow6432Node\Microsoft\Thing,"Relay",2,"a;b"'),
            (r'HKLM,"Software\Quoted",,16', r'HKLM,"Software\Wow6432Node\Quoted",,16'),
            (r'HKLM,System\CurrentControlSet\Control\X,"Y",,"%16427%"',
             r'HKLM,System\CurrentControlSet\Control\X,"Y",,"%16428%"'),
            (r'HKCU,%CurrentVersion%\Run,,16', r'HKCU,%CurrentVersion%\Run,,16'),
            ('00,00', '00,00'),
        ]:
            with self.subTest(line=line):
                self.assertEqual(prefix32.to_32bit_view(line, self.inf), expected)

    def test_write_inf(self):
        out = os.path.join(self.dir, 'wow64.inf')
        prefix32.write_inf(self.tree, out)
        written = prefix32.Inf(read(out).decode('utf-8'))
        self.assertEqual(written.directive('QvWow64', 'AddReg'), ['Common'])
        self.assertEqual(len(written.lines('Common')), len(self.inf.lines('Common')))
        self.assertIn(r'HKLM,Software\Wow6432Node\Microsoft\Windows\CurrentVersion,"ProgramFilesDir",,"%16426%"',
                      written.lines('Common'))
        self.assertEqual(written.strings, self.inf.strings)
        self.assertNotIn('fakedllswow64', written.raw)


class FilesTest(Fixture):
    def test_placeholder_pe(self):
        for name, exe in [('ddhelp.exe', True), ('dsound.vxd', False), ('sane.ds', False)]:
            with self.subTest(name=name):
                image = prefix32.placeholder_pe(name)
                self.assertEqual(len(image), 0x408)
                self.assertEqual(image[0x40:0x54], b'Wine placeholder DLL')
                self.assertEqual(image[0x60:0x64], b'PE\0\0')
                machine, sections = struct.unpack_from('<HH', image, 0x64)
                self.assertEqual((machine, sections), (0x14c, 2))
                characteristics, = struct.unpack_from('<H', image, 0x76)
                self.assertEqual(bool(characteristics & 0x2000), not exe)
                entry, = struct.unpack_from('<I', image, 0x88)
                self.assertEqual(entry, 0x1000)
                self.assertEqual(image[0x200] == 0xb8, exe)  # mov eax, 1 / xor eax, eax

    def test_ne_placeholder(self):
        for size in (0x60, 0x123):
            with self.subTest(size=size):
                module = ne_module(b'mod', size)
                stub = prefix32.ne_placeholder(pe_with_export(b'__wine_spec_dos_header', module))
                self.assertEqual(len(stub), size)
                self.assertEqual(stub[0x28:0x2c], bytes(4))
                self.assertEqual(stub[:0x28] + stub[0x2c:], module[:0x28] + module[0x2c:])
        with self.assertRaises(ValueError):
            prefix32.ne_placeholder(pe_with_export(b'other', ne_module(b'x')))

    def test_ne_placeholder_of_wine(self):
        tree = os.environ.get('QV_WINE_TREE', '/var/lib/qvhuetint/wine-10.0-trixie')
        lib = os.path.join(tree, prefix32.LIB)
        if not os.path.isdir(lib):
            self.skipTest('no Wine tree here')
        with open(os.path.join(lib, 'krnl386.exe16'), 'rb') as f:
            stub = prefix32.ne_placeholder(f.read())
        self.assertEqual(stub[0x40:0x54], b'Wine placeholder DLL')
        self.assertEqual(stub[0x60:0x62], b'NE')

    def test_fill_files(self):
        prefix32.fill_files(self.tree, self.prefix)
        lib = lambda name: read(os.path.join(self.lib, name))
        stub = ne_module(b'rundll')
        stub = stub[:0x28] + bytes(4) + stub[0x2c:]
        expected = {
            'windows/rundll.exe': stub,
            'windows/Twain_32/sane.ds': prefix32.placeholder_pe('sane.ds'),
            'windows/syswow64/ddhelp.exe': prefix32.placeholder_pe('ddhelp.exe'),
            'windows/syswow64/wbem/wmic.exe': lib('wmic.exe'),
            'windows/syswow64/stdole2.tlb': lib('stdole2.tlb'),
            'windows/syswow64/kernel32.dll': lib('kernel32.dll'),
            'windows/syswow64/comctl32.dll': lib('comctl32.dll'),
            'windows/syswow64/c_1.nls': b'nls',
            'windows/syswow64/winevulkan.json': b'{"ICD": {}}',
            'Program Files (x86)/Internet Explorer/iexplore.exe': lib('iexplore.exe'),
            'windows/winsxs/x86_cc_1/comctl32.dll': lib('comctl32.dll'),
            'windows/winsxs/manifests/x86_cc_1.manifest':
                b'<assemblyIdentity name="cc" processorArchitecture="x86"/>\r\n',
            'windows/system32/kernel32.dll': b'64-bit kernel32.dll',
        }
        for rel, data in expected.items():
            with self.subTest(file=rel):
                self.assertEqual(self.read(rel), data)
        for rel in ['windows/syswow64/wmic.exe', 'windows/syswow64/conhost.exe', 'windows/syswow64/cng.sys',
                    'windows/syswow64/drivers/cng.sys', 'windows/syswow64/light.msstyles',
                    'windows/syswow64/iexplore.exe', 'windows/syswow64/rundll.exe', 'windows/twain_32']:
            with self.subTest(absent=rel):
                self.assertFalse(os.path.exists(os.path.join(self.prefix, 'drive_c', rel)))
        self.assertTrue(os.path.isdir(os.path.join(self.prefix, 'drive_c/windows/syswow64/mui')))
        for rel, mode in [('windows/syswow64/ddhelp.exe', 0o755), ('windows/syswow64/kernel32.dll', 0o644)]:
            with self.subTest(mode=rel):
                self.assertEqual(os.stat(os.path.join(self.prefix, 'drive_c', rel)).st_mode & 0o777, mode)


def reg_file(path, text):
    with open(path, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('utf-16'))


EXPORT = r'''Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{1}\InprocServer32]
@="C:\\Program Files\\Common Files\\System\\x.dll"
"ThreadingModel"="Both"

[HKEY_LOCAL_MACHINE\Software\Classes\Interface\{2}]
@="IThing"

[HKEY_LOCAL_MACHINE\Software\Classes\Typelib\{3}\1.0\0\win64]
@="C:\\windows\\system32\\stdole2.tlb"

[HKEY_LOCAL_MACHINE\Software\Classes\.txt]
@="txtfile"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Cryptography]
"MachineGuid"="0"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Cryptography\OID]
"Expand"=hex(2):43,00,3a,00,5c,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,20,\
  00,46,00,69,00,6c,00,65,00,73,00,5c,00,00,00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Shared\Key]
"V"="1"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\SvcHost]
"netsvcs"="svc"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion]
"ProgramFilesDir"="C:\\Program Files"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Wow64]

[HKEY_LOCAL_MACHINE\Software\Microsoft\Wow64\x86]
@="wow64cpu.dll"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Empty]

[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Shared]
"SymbolicLinkValue"=hex(6):5c,00

[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion]
"ProgramFilesDir"="C:\\Program Files (x86)"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Print\Environments\Windows x64\Print Processors\winprint]
"Driver"="winprint.dll"
'''


class MirrorTest(Fixture):
    def test_read_reg(self):
        path = os.path.join(self.dir, 'in.reg')
        reg_file(path, EXPORT)
        keys = dict(prefix32.read_reg(path))
        self.assertEqual(keys[r'HKEY_LOCAL_MACHINE\Software\Microsoft\Cryptography\OID'],
                         ['"Expand"=hex(2):43,00,3a,00,5c,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,20,'
                          '00,46,00,69,00,6c,00,65,00,73,00,5c,00,00,00'])
        self.assertEqual(keys[r'HKEY_LOCAL_MACHINE\Software\Microsoft\Wow64'], [])

    def test_paths(self):
        paths = prefix32.Paths(self.inf)
        for line, expected in [
            (r'@="C:\\Program Files\\x.dll"', r'@="C:\\Program Files (x86)\\x.dll"'),
            (r'"C:\\Program Files\\a"="C:\\PROGRAM FILES\\b"', r'"C:\\Program Files\\a"="C:\\Program Files (x86)\\b"'),
            (r'"q\"uote"="C:\\windows\\system32\\stdole2.tlb"', r'"q\"uote"="C:\\windows\\syswow64\\stdole2.tlb"'),
            (r'@="C:\\windows\\system32\\other.tlb"', r'@="C:\\windows\\system32\\other.tlb"'),
            ('"D"=dword:00000001', '"D"=dword:00000001'),
            ('@=hex(2):43,00,3a,00,5c,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,20,00,46,00,69,00,6c,00,'
             '65,00,73,00,5c,00,00,00',
             '@=hex(2):' + ','.join('%02x' % b for b in 'C:\\Program Files (x86)\\\0'.encode('utf-16-le'))),
        ]:
            with self.subTest(line=line):
                self.assertEqual(paths.value(line), expected)

    def test_native_only_keys(self):
        self.assertEqual(prefix32.native_only_keys(self.inf),
                         {'microsoft\\wow64\\x86', 'microsoft\\windows nt\\currentversion\\svchost'})

    def test_twins(self):
        path = os.path.join(self.dir, 'in.reg')
        reg_file(path, EXPORT)
        twins = prefix32.Twins(self.inf, prefix32.read_reg(path))
        hklm = 'HKEY_LOCAL_MACHINE\\'
        for key, twin in [
            (r'Software\Classes\CLSID\{1}\InprocServer32', r'Software\Classes\CLSID\{1}\InprocServer32'),
            (r'Software\Classes\Interface\{2}', r'Software\Classes\Interface\{2}'),
            (r'Software\Classes\Typelib\{3}\1.0\0\win64', r'Software\Classes\Typelib\{3}\1.0\0\win32'),
            (r'Software\Classes\Typelib\{3}\1.0\0', None),
            (r'Software\Classes\.txt', None),
            (r'Software\Microsoft\Cryptography', None),
            (r'Software\Microsoft\Cryptography\OID', r'Software\Microsoft\Cryptography\OID'),
            (r'Software\Microsoft\Shared\Key', None),
            (r'Software\Microsoft\Windows NT\CurrentVersion\SvcHost', None),
            (r'Software\Microsoft\Windows\CurrentVersion', None),
            (r'Software\Microsoft\Wow64\x86', None),
            (r'Software\Wow6432Node\Microsoft\Windows\CurrentVersion', None),
            (r'System\CurrentControlSet\Control\Print\Environments\Windows x64\Print Processors\winprint',
             r'System\CurrentControlSet\Control\Print\Environments\Windows NT x86\Print Processors\winprint'),
            (r'System\CurrentControlSet\Control\Print\Environments\Windows x64\Drivers', None),
        ]:
            with self.subTest(key=key):
                self.assertEqual(twins.of(hklm + key), twin and hklm + twin)

    def test_mirror(self):
        exported, out = os.path.join(self.dir, 'in.reg'), os.path.join(self.dir, 'out.reg')
        reg_file(exported, EXPORT)
        prefix32.mirror(self.tree, [exported], out)
        keys = dict(prefix32.read_reg(out))
        self.assertEqual(sorted(k.split('\\', 2)[2] for k in keys), sorted([
            r'Classes\CLSID\{1}\InprocServer32', r'Classes\Interface\{2}', r'Classes\Typelib\{3}\1.0\0\win32',
            r'Microsoft\Cryptography\OID', r'Microsoft\Empty',
            r'CurrentControlSet\Control\Print\Environments\Windows NT x86\Print Processors\winprint']))
        self.assertEqual(keys[r'HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{1}\InprocServer32'],
                         [r'@="C:\\Program Files (x86)\\Common Files\\System\\x.dll"', '"ThreadingModel"="Both"'])


class NoIa32Test(unittest.TestCase):
    def run_filtered(self, *argv):
        return subprocess.run([sys.executable, SCRIPT, 'no32'] + list(argv), stderr=subprocess.DEVNULL).returncode

    def test_64bit_programs_run(self):
        self.assertEqual(self.run_filtered('true'), 0)
        self.assertEqual(self.run_filtered('sh', '-c', 'exit 3'), 3)

    def test_ia32_system_calls_kill(self):
        # exit(0) through the IA-32 entry: from a 32-bit program, and from a
        # 64-bit one, as Wine's 64-bit side sets up its 32-bit processes.
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work)
        source = '.globl _start\n_start: mov $1,%eax\n xor %ebx,%ebx\n int $0x80\n'
        for bits, emulation in [('32', 'elf_i386'), ('64', 'elf_x86_64')]:
            with self.subTest(bits=bits):
                exe = os.path.join(work, 'exit' + bits)
                with open(exe + '.s', 'w') as f:
                    f.write(source)
                try:
                    subprocess.run(['as', '--' + bits, '-o', exe + '.o', exe + '.s'], check=True)
                    subprocess.run(['ld', '-m', emulation, '-o', exe, exe + '.o'], check=True)
                except (OSError, subprocess.CalledProcessError):
                    self.skipTest('no assembler and linker for it here')
                if subprocess.run([exe]).returncode != 0:
                    self.skipTest('this kernel has no IA-32 system calls anyway')
                self.assertEqual(self.run_filtered('sh', '-c', exe + '; echo $? >' + exe + '.rc'), 0)
                self.assertEqual(read(exe + '.rc').strip(), str(128 + 31).encode())  # SIGSYS


if __name__ == '__main__':
    unittest.main()
