#include "test_util.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace test {
namespace {

// Every test binary takes its character set from the environment, as the program does.
[[maybe_unused]] const bool kLocaleFromEnvironment = std::setlocale(LC_ALL, "") != nullptr;

}  // namespace

// A fresh random name in the system's temporary folder ($TMPDIR, or TEMP on Windows).
ScopedTempDir::ScopedTempDir() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::random_device random;
  for (int attempt = 0; !error && attempt < 100; ++attempt) {
    const std::filesystem::path candidate = base / ("statekeeper-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate, error) && !error) {
      path_ = candidate.string();
      return;
    }
  }
  ADD_FAILURE() << "cannot create a temporary folder under " << base.string();
  std::abort();
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_value_ = old;
  Set(value);
}

void ScopedEnv::Set(const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s(name_.c_str(), value ? value->c_str() : "");  // "" removes it
#else
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
#endif
}

ScopedEnv::~ScopedEnv() { Set(old_value_); }

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_type type = std::filesystem::symlink_status(path, error).type();
  return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
}

int FileMode(const std::string& path) {
#ifdef _WIN32
  return FileExists(path) ? 0 : -1;
#else
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
#endif
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string EncodeUtf8(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  const int more = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;  // continuation bytes
  std::string text(1, static_cast<char>((0xFF00 >> (more + 1)) | (c >> (6 * more))));
  for (int i = more - 1; i >= 0; --i) text += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
  return text;
}

}  // namespace test
