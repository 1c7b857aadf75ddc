// Every example command of the README and the manual page, run by the shell against a
// loopback server standing in for the documented host, so the documents cannot drift.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "harness/network.h"
#include "harness/script_server.h"
#include "harness/temp_dir.h"

namespace {

using harness::Reply;

constexpr const char* k_documented_host = "example.com";
constexpr const char* k_stand_in = "127.0.0.60";

std::string read_source(const std::string& name) {
    std::ifstream in(std::string(PAGEGLEAN_SOURCE_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The shell scripts of the README: its ```sh blocks, the build commands left out.
std::vector<std::string> readme_examples() {
    std::vector<std::string> scripts;
    const std::string readme = read_source("README.md");
    const std::regex block("```sh\n([^`]*)```");
    for (std::sregex_iterator it(readme.begin(), readme.end(), block), end; it != end; ++it) {
        std::string script;
        std::istringstream lines((*it)[1].str());
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("cmake --workflow")) {
                const auto then = line.find("&& ");
                if (then == std::string::npos) continue;
                line = replace_all(line.substr(then + 3), "build/release/pageglean", "pageglean");
            }
            script += line + "\n";
        }
        scripts.push_back(script);
    }
    return scripts;
}

// The manual page's .EX blocks, with the roff escapes it uses taken out.
std::vector<std::string> manual_examples() {
    std::vector<std::string> scripts;
    const std::string page = read_source("pageglean.1");
    const std::regex block("\n\\.EX\n([\\s\\S]*?)\n\\.EE\n");
    for (std::sregex_iterator it(page.begin(), page.end(), block), end; it != end; ++it) {
        scripts.push_back(replace_all(replace_all((*it)[1].str(), "\\-", "-"), "\\e", "\\") + "\n");
    }
    return scripts;
}

class Documentation : public testing::Test {
  protected:
    void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }

    // Runs the script with the documented host swapped for the stand-in; its exit status.
    int run_script(const std::string& script) {
        const std::string path = dir.file("example.sh");
        std::ofstream(path) << replace_all(script, k_documented_host, k_stand_in);
        const std::string bin = std::filesystem::path(PAGEGLEAN_BINARY).parent_path().string();
        const std::string command = "cd '" + dir.path() + "' && PATH='" + bin +
                                    "':\"$PATH\" sh -e example.sh " +
                                    "> console.txt 2>&1 < /dev/null";
        return std::system(command.c_str());
    }

    harness::TempDir dir;
};

Reply documented_page() {
    return Reply{{harness::http_response("<html>documented</html>",
                                         "Last-Modified: Tue, 31 Oct 2006 14:39:28 GMT\r\n")}};
}

TEST(DocumentationVersion, IsTheProjectsEverywhere) {
    EXPECT_NE(read_source("pageglean.1").find("\"pageglean " PAGEGLEAN_VERSION "\""),
              std::string::npos);
    EXPECT_NE(read_source("README.md").find("pageglean_" PAGEGLEAN_VERSION "_amd64.deb"),
              std::string::npos);
}

TEST_F(Documentation, ReadmeExamplesRun) {
    const auto scripts = readme_examples();
    ASSERT_GE(scripts.size(), 2u);
    for (const auto& script : scripts) {
        const harness::ScriptServer server(k_stand_in, std::vector<Reply>(8, documented_page()));
        EXPECT_EQ(run_script(script), 0) << script << dir.read("console.txt");
        EXPECT_FALSE(server.requests().empty()) << script;
    }
    EXPECT_EQ(dir.read("page.html"), "<html>documented</html>");
}

TEST_F(Documentation, ManualPageExamplesRun) {
    const auto scripts = manual_examples();
    ASSERT_EQ(scripts.size(), 3u);
    for (const auto& script : scripts) {
        const harness::ScriptServer server(k_stand_in, std::vector<Reply>(8, documented_page()));
        EXPECT_EQ(run_script(script), 0) << script << dir.read("console.txt");
        EXPECT_FALSE(server.requests().empty()) << script;
    }
    EXPECT_NE(dir.read("console.txt").find("changed 31 Oct 2006 14:39:28 GMT"), std::string::npos);
}

}  // namespace
