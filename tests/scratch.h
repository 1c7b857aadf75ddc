#pragma once

// What the unit tests that run in a folder of their own share: the folder, and a file in
// it read back whole.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace scratch {

namespace fs = std::filesystem;

// A fresh, empty folder as the current one while it lives; it goes with all in it, even
// when a test removed it first.
struct Folder {
    fs::path previous = fs::current_path();
    fs::path path;

    explicit Folder(const std::string& name)
        : path(fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
        fs::current_path(path);
    }
    ~Folder() {
        fs::current_path(previous);
        fs::remove_all(path);
    }
};

// The file's bytes; nullopt when there is none to open.
inline std::optional<std::string> read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace scratch
