#pragma once

// Fresh temporary directories, one per test.

#include <string>

namespace harness {

// A new empty directory, removed with its content at the end of the scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // A file's bytes; empty when it is missing.
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    void write(const std::string& name, const std::string& bytes) const;

  private:
    std::string m_path;
};

}  // namespace harness
