#pragma once
// The prefix's system folders and the vendor test libraries placed in them, for the
// config tests and the system tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/bed/child_process.h"

#include "base/results.h"

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
  IgnoreResult(DeleteFileA(target.c_str()));
  if (variant != nullptr && *variant != '\0') {
    ASSERT_TRUE(CopyFileA(VendorDll(variant, file).c_str(), target.c_str(), FALSE)) << target;
  }
}
// Installs dir + relative (relative starts with a backslash) with the folders it needs: a
// copy of source when one is given, else a short text file.
inline void InstallFile(const std::string& dir, const std::string& relative, const std::string& source = {}) {
  const std::string path = dir + relative;
  std::filesystem::create_directories(path.substr(0, path.rfind('\\')));
  if (!source.empty()) {
    ASSERT_TRUE(CopyFileA(source.c_str(), path.c_str(), FALSE)) << path;
  } else {
    ASSERT_TRUE(std::ofstream(path, std::ios::binary) << "installed\r\n") << path;
  }
}
// Deletes everything below the folder dir, which stays or is made.
inline void EmptyFolder(const std::string& dir) {
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::filesystem::create_directories(dir);
}
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace test_files
