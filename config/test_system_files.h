#pragma once
// The prefix's system folders and the vendor test libraries placed in them, for the
// config tests and the system tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "bed/child_process.h"

namespace test_files {

// The system folder, or SysWOW64.
inline std::string SystemFolder(bool wow64) {
  char folder[MAX_PATH] = {};
  wow64 ? GetSystemWow64DirectoryA(folder, MAX_PATH) : GetSystemDirectoryA(folder, MAX_PATH);
  return folder;
}
// A vendor test variant's library as built ("korvane", "other-vendor", ...).
inline std::string VendorDll(const std::string& variant, const std::string& file) {
  return bed::BinPath("vendor-dlls\\" + variant + "\\" + file);
}
// Puts a variant's |file| into the system folder or SysWOW64; without a variant, removes it.
inline void PlaceVendorDll(bool wow64, const std::string& file, const char* variant) {
  const std::string target = SystemFolder(wow64) + "\\" + file;
  DeleteFileA(target.c_str());
  if (variant != nullptr && *variant != '\0') {
    ASSERT_TRUE(CopyFileA(VendorDll(variant, file).c_str(), target.c_str(), FALSE)) << target;
  }
}
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace test_files
