// A fresh temporary folder of real files for the tests of the native file layer, with the
// means to lay out files in it and read them back.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>

// A file made to hold exactly text; the bytes of a file ("" where it cannot be read).
inline void PutText(const std::filesystem::path& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}
inline std::string TextOf(const std::filesystem::path& name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class RealFolder : public ::testing::Test {
protected:
  std::filesystem::path Root;
  std::string Dir; // Root as text
  std::string Ini; // the settings file in it

  void SetUp() override {
    namespace fs = std::filesystem;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int i = 0; i < 1000 && Dir.empty(); ++i) {
      const fs::path d = fs::temp_directory_path() /
                         ("aq-files-" + std::to_string(stamp) + "-" + std::to_string(i));
      std::error_code ec;
      if (fs::create_directory(d, ec)) {
        Root = d;
        Dir = d.string();
      }
    }
    ASSERT_FALSE(Dir.empty());
    Ini = In("AutoQuillmer.ini");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(Root, ec);
  }

  std::string In(const std::string& name) const { return (Root / name).string(); }
  static void Put(const std::string& name, const std::string& text) { PutText(name, text); }
  static std::string Get(const std::string& name) { return TextOf(name); }
  // The names in a folder; none when it is missing.
  static std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
      names.insert(e.path().filename().string());
    return names;
  }
};
