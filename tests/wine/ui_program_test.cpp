// The built program from outside: ManagePlugins.exe started as its own
// process over the sample plug-ins, and the resources it carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/wine/ui_test_support.h"

namespace {

TEST(UiProgram, ListsTheSamplesAndClosesWithExitCodeZero)
{
    samples_install();
    // What the program should list: the catalogue as this process sees it.
    ASSERT_EQ(catalogue_init(), 1);
    rebuild_catalogue();
    std::multiset<std::string> expected;
    for (uint32_t i = 1; i <= catalogue_count(); i++) expected.insert(catalogue_get(i)->name);
    catalogue_destroy();
    for (int i = 0; i < sample_plugin_count; i++)
        ASSERT_EQ(expected.count(sample_plugins[i].name), 1u) << sample_plugins[i].name;

    // Two launches: two independent windows of the same class.
    Launched first;
    Launched second;
    ASSERT_TRUE(launch(&first)) << "no window from " << program_path("ManagePlugins.exe");
    ASSERT_TRUE(launch(&second));
    EXPECT_NE(first.window, second.window);

    char title[64] = "";
    GetWindowTextA(first.window, title, sizeof title);
    EXPECT_STREQ(title, "Manage Plug-ins");
    HWND list = FindWindowExA(first.window, nullptr, "SysListView32", nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(GetDlgCtrlID(list), 1000);
    ASSERT_EQ(wait_for_rows(list, static_cast<int>(expected.size())),
              static_cast<int>(expected.size()));
    std::multiset<std::string> listed;
    for (int row = 0; row < static_cast<int>(expected.size()); row++)
        listed.insert(remote_cell(first.process.hProcess, list, row, 0));
    EXPECT_EQ(listed, expected);
    // Sorted by name from the start: Zeta before alpha, Echo before Echo 2.
    std::vector<std::string> order;
    for (int row = 0; row < static_cast<int>(expected.size()); row++)
        order.push_back(remote_cell(first.process.hProcess, list, row, 0));
    auto at = [&](const char *name) { return std::find(order.begin(), order.end(), name) - order.begin(); };
    EXPECT_LT(at("Zeta"), at("alpha"));
    EXPECT_LT(at("Echo"), at("Echo 2"));

    EXPECT_EQ(close_and_wait(&first), 0u);
    EXPECT_EQ(close_and_wait(&second), 0u);
    samples_remove();
}

TEST(UiProgram, DocumentsLieBesideTheProgram)
{
    const char *files[] = {"readme.txt", "license.txt"};
    for (const char *file : files) {
        DWORD attributes = GetFileAttributesA(program_path(file).c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << file;
    }
}

// ---- resources ---------------------------------------------------------------

class UiResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(program_path("ManagePlugins.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }

    const unsigned char *resource(LPCSTR type, int id, DWORD *size)
    {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) return nullptr;
        *size = SizeofResource(module_, found);
        return static_cast<const unsigned char *>(LockResource(LoadResource(module_, found)));
    }
    HMODULE module_ = nullptr;
};

TEST_F(UiResources, HeaderBitmapIs2000By66With256Colours)
{
    DWORD size = 0;
    const unsigned char *data = resource(MAKEINTRESOURCEA(2) /* RT_BITMAP */, 1000, &size);
    ASSERT_NE(data, nullptr);
    BITMAPINFOHEADER header;
    memcpy(&header, data, sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 2000);
    EXPECT_EQ(header.biHeight, 66); // bottom-up
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_TRUE(header.biClrUsed == 0 || header.biClrUsed == 256);
    EXPECT_EQ(size, 40u + 1024u + 2000u * 66u);

    // A picture, not a flat fill: the name's dots make the top rows busy.
    const unsigned char *pixels = data + 40 + 1024;
    std::set<int> used(pixels, pixels + 2000 * 66);
    EXPECT_GT(used.size(), 32u);
}

TEST_F(UiResources, IconGroupHoldsOne32By32SixteenColourImage)
{
    DWORD size = 0;
    const unsigned char *group = resource(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, 100, &size);
    ASSERT_NE(group, nullptr);
    ASSERT_GE(size, 6u + 14u);
    EXPECT_EQ(group[2] | (group[3] << 8), 1); // icons
    EXPECT_EQ(group[4] | (group[5] << 8), 1); // one image
    const unsigned char *entry = group + 6;
    EXPECT_EQ(entry[0], 32); // width
    EXPECT_EQ(entry[1], 32); // height
    EXPECT_EQ(entry[2], 16); // colours
    EXPECT_EQ(entry[6] | (entry[7] << 8), 4); // bits per pixel
    int image_id = entry[12] | (entry[13] << 8);
    DWORD image_size = 0;
    const unsigned char *image = resource(MAKEINTRESOURCEA(3) /* RT_ICON */, image_id, &image_size);
    ASSERT_NE(image, nullptr);
    BITMAPINFOHEADER header;
    memcpy(&header, image, sizeof header);
    EXPECT_EQ(header.biWidth, 32);
    EXPECT_EQ(header.biHeight, 64); // colour and mask
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_NE(LoadIconA(module_, MAKEINTRESOURCEA(100)), nullptr);
}

TEST_F(UiResources, VersionIsTheProjectsWithItsDescription)
{
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_NE(version, nullptr);
    typedef DWORD(WINAPI * SizeFn)(LPCSTR, LPDWORD);
    typedef BOOL(WINAPI * InfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
    typedef BOOL(WINAPI * QueryFn)(LPCVOID, LPCSTR, LPVOID *, PUINT);
    SizeFn info_size = reinterpret_cast<SizeFn>(
        reinterpret_cast<void *>(GetProcAddress(version, "GetFileVersionInfoSizeA")));
    InfoFn info = reinterpret_cast<InfoFn>(
        reinterpret_cast<void *>(GetProcAddress(version, "GetFileVersionInfoA")));
    QueryFn query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void *>(GetProcAddress(version, "VerQueryValueA")));
    ASSERT_TRUE(info_size && info && query);

    std::string exe = program_path("ManagePlugins.exe");
    DWORD handle = 0;
    DWORD size = info_size(exe.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(info(exe.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    const DWORD high = (MP_VERSION_MAJOR << 16) | MP_VERSION_MINOR;
    const DWORD low = MP_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);

    char *description = nullptr;
    ASSERT_TRUE(query(block.data(), "\\StringFileInfo\\040904E4\\FileDescription",
                      reinterpret_cast<void **>(&description), &length));
    EXPECT_STREQ(description, "Manage System registered Audio Plug-ins.");
    FreeLibrary(version);
}

// Both programs: themed controls, awareness of every display's scale, and
// the level each asks to run at.
TEST(UiManifests, BothProgramsAreThemedAndDpiAware)
{
    const struct {
        const char *program;
        const char *level;
    } programs[] = {{"ManagePlugins.exe", "highestAvailable"}, {"manage-plugins-cli.exe", "asInvoker"}};
    const char *wanted[] = {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                            "publicKeyToken=\"6595b64144ccf1df\"",
                            ">PerMonitorV2, PerMonitor</dpiAwareness>", ">true/pm</dpiAware>",
                            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" /* Windows 10 and 11 */,
                            "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}" /* Windows 7 */};
    for (const auto &p : programs) {
        HMODULE module = LoadLibraryExA(program_path(p.program).c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << p.program;
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
        ASSERT_NE(found, nullptr) << p.program;
        std::string manifest(static_cast<const char *>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
        for (const char *text : wanted)
            EXPECT_NE(manifest.find(text), std::string::npos) << p.program << " " << text;
        EXPECT_NE(manifest.find(std::string("level=\"") + p.level + "\""), std::string::npos)
            << p.program;
        FreeLibrary(module);
    }
}

} // namespace
