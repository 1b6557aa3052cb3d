// A scratch directory that is also the current directory while it lives:
// the editor looks its data files up there first.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ScratchDir {
 public:
  ScratchDir() {
    old_ = std::filesystem::current_path();
    dir_ = std::filesystem::path(testing::TempDir()) /
           ("vesk-scratch-" + std::to_string(getpid()) + "-" + std::to_string(++counter_));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path old_, dir_;
  static inline int counter_ = 0;
};

// A file's whole content (empty when it cannot be read), and a file made to
// hold exactly content.
inline std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
inline void Put(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}
