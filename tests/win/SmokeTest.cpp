#include <windows.h>
#include <gtest/gtest.h>
TEST(Smoke, Loads) {
    HMODULE m = LoadLibraryA("qvhuetint.ppi");
    ASSERT_TRUE(m);
    typedef int (WINAPI *Count)();
    EXPECT_EQ(2, ((Count)(void*)GetProcAddress(m, "PBF_FilterCount"))());
    EXPECT_TRUE(GetProcAddress(m, "_PBF_Execute@44"));
    FreeLibrary(m);
}
