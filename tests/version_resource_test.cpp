// The version resources of vellora.dll and vellora.exe, read back with the
// system's version API, as Windows' file properties read them, and held
// against the number the library itself reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vellora.h"

namespace {

struct VersionResource {
  VS_FIXEDFILEINFO fixed{};
  std::vector<BYTE> block;
  std::wstring string_table;  // "\StringFileInfo\<language><code page>\"

  std::wstring text(const wchar_t* name) const {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = string_table + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return L"";
    return std::wstring(static_cast<const wchar_t*>(value));
  }
};

std::wstring hex4(WORD value) {
  std::wstring digits;
  for (int shift = 12; shift >= 0; shift -= 4) digits += L"0123456789abcdef"[(value >> shift) & 15];
  return digits;
}

// Reads the resource of a file, or fails the test saying what is missing.
void read_version_resource(const std::wstring& file, VersionResource* resource) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  ASSERT_NE(size, 0u) << "no version resource";
  resource->block.resize(size);
  ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, resource->block.data()));

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(resource->block.data(), L"\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  resource->fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
  ASSERT_EQ(resource->fixed.dwSignature, 0xFEEF04BDu);

  // The string table named by the first translation, as Explorer finds it.
  ASSERT_TRUE(
      VerQueryValueW(resource->block.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_GE(length, 4u);
  const WORD* translation = static_cast<const WORD*>(value);
  resource->string_table =
      L"\\StringFileInfo\\" + hex4(translation[0]) + hex4(translation[1]) + L"\\";
}

// vellora.dll as this process loaded it; vellora.exe lies beside it.
std::wstring beside_the_library(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(GetModuleHandleW(L"vellora.dll"), path, MAX_PATH);
  std::wstring file(path, length);
  return file.substr(0, file.find_last_of(L"\\/") + 1) + name;
}

// "1.2.0" and the fixed fields' four numbers, from what Version() returns.
struct ExpectedVersion {
  int32_t number = Version();
  DWORD major = static_cast<DWORD>(number / 10000);
  DWORD minor = static_cast<DWORD>(number / 100 % 100);
  DWORD patch = static_cast<DWORD>(number % 100);
  std::wstring text =
      std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(patch);
};

void expect_project_version(const VersionResource& resource) {
  const ExpectedVersion expected;
  EXPECT_EQ(resource.fixed.dwFileVersionMS, MAKELONG(expected.minor, expected.major));
  EXPECT_EQ(resource.fixed.dwFileVersionLS, MAKELONG(0, expected.patch));
  EXPECT_EQ(resource.fixed.dwProductVersionMS, resource.fixed.dwFileVersionMS);
  EXPECT_EQ(resource.fixed.dwProductVersionLS, resource.fixed.dwFileVersionLS);
  EXPECT_EQ(resource.text(L"FileVersion"), expected.text);
  EXPECT_EQ(resource.text(L"ProductVersion"), expected.text);
  EXPECT_EQ(resource.text(L"ProductName"), L"vellora");
  EXPECT_NE(resource.text(L"FileDescription"), L"");
  EXPECT_NE(resource.text(L"LegalCopyright").find(L"The vellora developers"), std::wstring::npos);
}

TEST(VersionResource, DllCarriesTheVersionItReports) {
  VersionResource dll;
  ASSERT_NO_FATAL_FAILURE(read_version_resource(beside_the_library(L"vellora.dll"), &dll));
  expect_project_version(dll);
  EXPECT_EQ(dll.fixed.dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(dll.text(L"OriginalFilename"), L"vellora.dll");
}

TEST(VersionResource, CommandLineHostCarriesTheSameVersion) {
  VersionResource exe;
  ASSERT_NO_FATAL_FAILURE(read_version_resource(beside_the_library(L"vellora.exe"), &exe));
  expect_project_version(exe);
  EXPECT_EQ(exe.fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  EXPECT_EQ(exe.text(L"OriginalFilename"), L"vellora.exe");
}

}  // namespace
