// The resources of the built plug-in, read back as the system reads them:
// both dialog templates field by field, the two cursors, and the version
// block.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

HMODULE Plugin() {
    static HMODULE module = LoadLibraryA("qvhuetint.ppi");
    return module;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// A class or title field: an ordinal (0xFFFF, n) or a string. Shown as
// "#0x0080" or the text.
std::string NameOrOrdinal(const std::wstring& raw, bool ordinal, WORD value) {
    if (ordinal) {
        char text[16];
        std::snprintf(text, sizeof text, "#0x%04X", value);
        return text;
    }
    return Utf8(raw);
}

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool overrun = false;

    template <typename T>
    T Get() {
        T value{};
        if (pos + sizeof(T) > size) {
            overrun = true;
            return value;
        }
        std::memcpy(&value, data + pos, sizeof(T));
        pos += sizeof(T);
        return value;
    }
    std::wstring String() {
        std::wstring s;
        for (;;) {
            wchar_t c = static_cast<wchar_t>(Get<WORD>());
            if (c == 0 || overrun) return s;
            s += c;
        }
    }
    std::string SzOrOrd() {
        WORD first = Get<WORD>();
        if (first == 0xFFFF) return NameOrOrdinal(L"", true, Get<WORD>());
        if (first == 0) return "";
        pos -= 2;
        return Utf8(String());
    }
    void AlignDword() { pos = (pos + 3) & ~size_t(3); }
};

struct Item {
    uint32_t helpId, exStyle, style;
    int16_t x, y, cx, cy;
    uint32_t id;
    std::string cls, text;
    uint16_t extra;
};

struct Template {
    uint16_t version, signature;
    uint32_t helpId, exStyle, style;
    uint16_t count;
    int16_t x, y, cx, cy;
    std::string menu, cls, caption;
    uint16_t pointSize, weight;
    uint8_t italic, charset;
    std::string face;
    std::vector<Item> items;
    bool overrun;
    size_t unread;
};

bool ReadTemplate(int id, WORD language, Template& t) {
    HRSRC found = FindResourceExW(Plugin(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), language);
    if (!found) return false;
    Reader r{static_cast<const uint8_t*>(LockResource(LoadResource(Plugin(), found))), SizeofResource(Plugin(), found)};
    t.version = r.Get<WORD>();
    t.signature = r.Get<WORD>();
    t.helpId = r.Get<DWORD>();
    t.exStyle = r.Get<DWORD>();
    t.style = r.Get<DWORD>();
    t.count = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    t.menu = r.SzOrOrd();
    t.cls = r.SzOrOrd();
    t.caption = Utf8(r.String());
    t.pointSize = r.Get<WORD>();
    t.weight = r.Get<WORD>();
    t.italic = r.Get<BYTE>();
    t.charset = r.Get<BYTE>();
    t.face = Utf8(r.String());
    for (int i = 0; i < t.count && !r.overrun; ++i) {
        r.AlignDword();
        Item item;
        item.helpId = r.Get<DWORD>();
        item.exStyle = r.Get<DWORD>();
        item.style = r.Get<DWORD>();
        item.x = r.Get<short>();
        item.y = r.Get<short>();
        item.cx = r.Get<short>();
        item.cy = r.Get<short>();
        item.id = r.Get<DWORD>();
        item.cls = r.SzOrOrd();
        item.text = r.SzOrOrd();
        item.extra = r.Get<WORD>();
        r.pos += item.extra;
        t.items.push_back(item);
    }
    t.overrun = r.overrun;
    t.unread = r.size > r.pos ? r.size - r.pos : 0;
    return true;
}

// The controls of both templates, in template order: the ids the code uses
// with their classes and styles, and the texts in each language.
struct ExpectedItem {
    uint32_t id;
    const char* cls;
    uint32_t style, exStyle;
    const char* text114;
    const char* text113;
};

const char* const kButton = "#0x0080";
const char* const kEdit = "#0x0081";
const char* const kStatic = "#0x0082";
const char* const kUpDown = "msctls_updown32";
const char* const kTrackbar = "msctls_trackbar32";
const uint32_t kNone = 0xFFFFFFFF;

const ExpectedItem kItems[] = {
    {kNone, kStatic, 0x50020000, 0, "Guide Color:", "ガイド色:"},
    {1028, kStatic, 0x50020000, 0, "R:255 G:255 B:255", "R:255 G:255 B:255"},
    {1025, kStatic, 0x50020100, 0x00020000, "", ""},
    {kNone, kStatic, 0x50020000, 0, "&X:", "X(&X):"},
    {1021, kEdit, 0x50812002, 0, "", ""},
    {1022, kUpDown, 0x500000B6, 0, "Spin1", "Spin1"},
    {kNone, kStatic, 0x50020000, 0, "&Y:", "Y(&Y):"},
    {1023, kEdit, 0x50812002, 0, "", ""},
    {1024, kUpDown, 0x500000B6, 0, "Spin1", "Spin1"},
    {1005, kStatic, 0x50001108, 0, "", ""},
    {1006, kButton, 0x50010003, 0, "&Preview", "プレビュー(&P)"},
    {1, kButton, 0x50010001, 0, "OK", "OK"},
    {2, kButton, 0x50010000, 0, "Cancel", "ｷｬﾝｾﾙ"},
    {1026, kTrackbar, 0x50010015, 0, "Slider1", "Slider1"},
    {1027, kTrackbar, 0x50010015, 0, "Slider2", "Slider2"},
};

struct ExpectedTemplate {
    int id;
    WORD language;
    int16_t cx, cy;
    const char* caption;
    const char* face;
};

const ExpectedTemplate kTemplates[] = {
    {114, 0x0409, 241, 133, "Colorize", "Arial"},
    {113, 0x0411, 229, 159, "単色効果", "ＭＳ Ｐゴシック"},
};

bool Overlap(const Item& a, const Item& b) {
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

TEST(Resources, DialogTemplates) {
    ASSERT_TRUE(Plugin());
    for (const ExpectedTemplate& e : kTemplates) {
        SCOPED_TRACE(testing::Message() << "template " << e.id);
        Template t;
        ASSERT_TRUE(ReadTemplate(e.id, e.language, t)) << "not found in language 0x" << std::hex << e.language;
        EXPECT_FALSE(t.overrun);
        EXPECT_EQ(0u, t.unread) << "bytes after the last item";
        EXPECT_EQ(1, t.version);
        EXPECT_EQ(0xFFFF, t.signature);
        EXPECT_EQ(0u, t.helpId);
        EXPECT_EQ(0u, t.exStyle);
        EXPECT_EQ(0x80C800C0u, t.style);
        EXPECT_EQ(15, t.count);
        EXPECT_EQ((std::vector<int>{0, 0, e.cx, e.cy}), (std::vector<int>{t.x, t.y, t.cx, t.cy}));
        EXPECT_EQ("", t.menu);
        EXPECT_EQ("", t.cls);
        EXPECT_EQ(e.caption, t.caption);
        EXPECT_EQ((std::vector<int>{9, 0, 0, 1}), (std::vector<int>{t.pointSize, t.weight, t.italic, t.charset}));
        EXPECT_EQ(e.face, t.face);
        ASSERT_EQ(std::size(kItems), t.items.size());
        for (size_t i = 0; i < t.items.size(); ++i) {
            const ExpectedItem& x = kItems[i];
            const Item& got = t.items[i];
            SCOPED_TRACE(testing::Message() << "item " << i + 1);
            EXPECT_EQ(x.id, got.id);
            EXPECT_EQ(x.cls, got.cls);
            EXPECT_EQ(e.id == 114 ? x.text114 : x.text113, got.text);
            EXPECT_EQ(x.style, got.style) << std::hex << "0x" << x.style << " vs 0x" << got.style;
            EXPECT_EQ(x.exStyle, got.exStyle);
            EXPECT_EQ(0u, got.helpId);
            EXPECT_EQ(0, got.extra);
            EXPECT_TRUE(got.cx > 0 && got.cy > 0 && got.x >= 0 && got.y >= 0 && got.x + got.cx <= t.cx &&
                        got.y + got.cy <= t.cy)
                << "outside the dialog: " << got.x << "," << got.y << " " << got.cx << "x" << got.cy;
            // An up-down sits on its buddy, the edit box before it, wherever
            // the template puts it.
            if (got.cls == kUpDown) continue;
            for (size_t j = 0; j < i; ++j)
                if (t.items[j].cls != kUpDown)
                    EXPECT_FALSE(Overlap(t.items[j], got)) << "overlaps item " << j + 1;
        }
    }
}

// Each template exists in its own language only.
TEST(Resources, TemplateLanguages) {
    EXPECT_EQ(nullptr, FindResourceExW(Plugin(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(113), 0x0409));
    EXPECT_EQ(nullptr, FindResourceExW(Plugin(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(114), 0x0411));
}

// The cursors' masks, top row first: AND (1 = the screen shows through) and
// XOR (1 = white where AND is 0).
struct Masks {
    bool ok = false;
    int hotX = -1, hotY = -1;
    bool monochrome = false;
    int width = 0, height = 0;
    std::vector<uint32_t> andRows, xorRows;
    char At(int x, int y) const {
        bool a = andRows[y] >> (31 - x) & 1, o = xorRows[y] >> (31 - x) & 1;
        return a ? (o ? '~' : '.') : (o ? 'o' : '#');
    }
};

Masks CursorMasks(int id) {
    Masks m;
    HCURSOR cursor = LoadCursorA(Plugin(), MAKEINTRESOURCEA(id));
    ICONINFO info;
    if (!cursor || !GetIconInfo(cursor, &info)) return m;
    m.hotX = info.xHotspot;
    m.hotY = info.yHotspot;
    m.monochrome = info.hbmColor == nullptr;
    BITMAP bm;
    GetObject(info.hbmMask, sizeof bm, &bm);
    m.width = bm.bmWidth;
    m.height = bm.bmHeight;
    if (m.width == 32 && m.height == 64) {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } bi = {};
        bi.header.biSize = sizeof bi.header;
        bi.header.biWidth = 32;
        bi.header.biHeight = -64;
        bi.header.biPlanes = 1;
        bi.header.biBitCount = 1;
        std::vector<uint8_t> bits(4 * 64);
        HDC dc = GetDC(nullptr);
        GetDIBits(dc, info.hbmMask, 0, 64, bits.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
        for (int y = 0; y < 64; ++y) {
            uint32_t row = uint32_t(bits[y * 4]) << 24 | bits[y * 4 + 1] << 16 | bits[y * 4 + 2] << 8 | bits[y * 4 + 3];
            (y < 32 ? m.andRows : m.xorRows).push_back(row);
        }
        m.ok = true;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return m;
}

std::vector<std::string> SourceDrawing(const char* name) {
    std::ifstream in(std::string(QV_SOURCE_DIR) + "/resources/cursors/" + name);
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != ';') rows.push_back(line);
    return rows;
}

TEST(Resources, HandCursors) {
    Masks open = CursorMasks(107), grab = CursorMasks(108);
    const struct {
        int id;
        const Masks& m;
        const char* source;
    } cursors[] = {{107, open, "hand_open.txt"}, {108, grab, "hand_grab.txt"}};
    for (const auto& c : cursors) {
        SCOPED_TRACE(testing::Message() << "cursor " << c.id);
        ASSERT_TRUE(c.m.ok) << "mask " << c.m.width << "x" << c.m.height;
        EXPECT_EQ(0, c.m.hotX);
        EXPECT_EQ(0, c.m.hotY);
        EXPECT_TRUE(c.m.monochrome);
        // Exactly the drawing it was built from.
        std::vector<std::string> drawing = SourceDrawing(c.source);
        ASSERT_EQ(32u, drawing.size());
        for (int y = 0; y < 32; ++y) {
            std::string row;
            for (int x = 0; x < 32; ++x) row += c.m.At(x, y);
            EXPECT_EQ(drawing[y], row) << "row " << y;
        }
        // The move arrow: its four tips and centre at the lower right.
        const int arrow[][2] = {{24, 18}, {24, 30}, {18, 24}, {30, 24}, {24, 24}};
        for (const auto& p : arrow) EXPECT_EQ('#', c.m.At(p[0], p[1])) << p[0] << "," << p[1];
        // Nothing of the hand reaches the arrow's corner, nothing of the
        // arrow the hand's.
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if ((x < 17) != (y < 17)) {
                    EXPECT_EQ('.', c.m.At(x, y)) << x << "," << y;
                }
    }
    ASSERT_TRUE(open.ok && grab.ok);
    int differing = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (open.At(x, y) != grab.At(x, y)) {
                ++differing;
                EXPECT_TRUE(x < 17 && y < 17) << "the arrows differ at " << x << "," << y;
            }
    EXPECT_GT(differing, 20) << "the two hands look alike";
}

std::wstring Query(const std::vector<BYTE>& block, const wchar_t* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path, &value, &length) || !value) return L"<missing>";
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(Resources, VersionBlock) {
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameW(Plugin(), path, MAX_PATH));
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00000005u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00020000u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00000005u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00020000u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);

    WORD* translations = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                               &length));
    ASSERT_EQ(4u, length) << "one translation";
    EXPECT_EQ(0x0411, translations[0]);
    EXPECT_EQ(1200, translations[1]);

    EXPECT_EQ("単色効果フィルタ", Utf8(Query(block, L"\\StringFileInfo\\041104B0\\FileDescription")));
    EXPECT_EQ("0.5.2.0", Utf8(Query(block, L"\\StringFileInfo\\041104B0\\FileVersion")));
    EXPECT_EQ("<missing>", Utf8(Query(block, L"\\StringFileInfo\\040904B0\\FileDescription")));
}

// The host registers the common controls; the plug-in links no
// common-controls library.
TEST(Resources, NoCommonControlsImport) {
    const BYTE* base = reinterpret_cast<const BYTE*>(Plugin());
    ASSERT_TRUE(base);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    std::vector<std::string> names;
    for (const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        std::string name(reinterpret_cast<const char*>(base + d->Name));
        for (char& ch : name) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        names.push_back(name);
        EXPECT_NE("comctl32.dll", name);
    }
    EXPECT_FALSE(names.empty());
}

}  // namespace
