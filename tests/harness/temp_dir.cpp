#include "harness/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace harness {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pageglean-test-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    m_path = made != nullptr ? made : "/nonexistent-temp-dir";
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

void TempDir::write(const std::string& name, const std::string& bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
}

}  // namespace harness
