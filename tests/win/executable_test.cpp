// What the built WebView2Wrapper.exe carries: its manifest, icon group and exported values.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring HostPath() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.rfind(L'\\') + 1);
    return path + L"..\\..\\WebView2Wrapper.exe";  // <build>/tests/win/ -> <build>/
}

class HostImage : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(HostPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(module_, nullptr) << "cannot load the host image";
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    std::string Resource(LPCWSTR name, LPCWSTR type) const {
        HRSRC info = FindResourceW(module_, name, type);
        if (info == nullptr) return {};
        HGLOBAL data = LoadResource(module_, info);
        return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module_, info));
    }
    HMODULE module_ = nullptr;
};

TEST_F(HostImage, ExportsHighPerformanceGraphicsRequests) {
    for (const char* name : {"NvOptimusEnablement", "AmdPowerXpressRequestHighPerformance"}) {
        const auto* value = reinterpret_cast<const DWORD*>(GetProcAddress(module_, name));
        ASSERT_NE(value, nullptr) << name;
        EXPECT_EQ(*value, 1u) << name;
    }
}

TEST_F(HostImage, ManifestDeclaresLevelDpiCodePageAndSystem) {
    const std::string manifest = Resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find(">UTF-8</activeCodePage>"), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}

TEST_F(HostImage, IconGroupHoldsFourSizes) {
    const std::string group = Resource(L"MAINICON", RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    const auto* bytes = reinterpret_cast<const unsigned char*>(group.data());
    const unsigned count = bytes[4] | (bytes[5] << 8);
    ASSERT_EQ(group.size(), 6u + 14u * count);  // GRPICONDIR + GRPICONDIRENTRY[count]
    std::vector<unsigned> sizes;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned width = bytes[6 + 14 * i];
        sizes.push_back(width == 0 ? 256 : width);
        const unsigned id = bytes[6 + 14 * i + 12] | (bytes[6 + 14 * i + 13] << 8);
        EXPECT_FALSE(Resource(MAKEINTRESOURCEW(id), RT_ICON).empty()) << "image " << id;
    }
    EXPECT_EQ(sizes, (std::vector<unsigned>{32, 64, 128, 256}));
}

}  // namespace
