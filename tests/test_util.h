// Helpers shared by the tests: temporary folders, environment variables, whole files.
#ifndef STATEKEEPER_TESTS_TEST_UTIL_H_
#define STATEKEEPER_TESTS_TEST_UTIL_H_

#include <optional>
#include <string>
#include <vector>

namespace test {

// A fresh folder in the system's temporary folder, removed with all it holds on destruction.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The folder's path, without a trailing separator; Join adds "/" and `name`.
  const std::string& path() const { return path_; }
  std::string Join(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, with nullopt, unsets) an environment variable and restores it on destruction.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value);

  std::string name_;
  std::optional<std::string> old_value_;
};

// The whole file as bytes, or nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);
// Creates or truncates `path` with `content`; fails the test when it cannot.
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
// The permission bits of `path` (e.g. 0600), or -1 when it is not there; 0 on Windows.
int FileMode(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& path);
// `character` as UTF-8, whatever the locale: screens in tests are compared as UTF-8 text.
std::string EncodeUtf8(char32_t character);

}  // namespace test

#endif  // STATEKEEPER_TESTS_TEST_UTIL_H_
