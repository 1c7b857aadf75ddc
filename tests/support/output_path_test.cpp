// The output's walk over a fixture tree in a fresh folder. Owners that only root could give
// are named through the walk's owner lookup, so the kernel's own protected_* settings, and
// whether the test runs as root, change nothing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "support/file.h"
#include "support/output_path.h"

namespace support {
namespace {

namespace fs = std::filesystem;

enum class Kind { folder, sticky, file, fifo, link };

const uid_t k_folder_owner = 5001;  // owns the sticky folder t
const uid_t k_other = 4242;         // plants names there
const uid_t k_user = ::geteuid();

struct Entry {
    std::string path;
    Kind kind;
    std::string text;  // a file's bytes, a link's target
    uid_t owner = k_user;
};

struct Row {
    const char* what;
    std::vector<Entry> tree;  // besides t (sticky), v (a folder) and victim
    std::string output;
    int check;              // output_refusal's answer
    int open;               // open_output's errno, 0 when it opens
    std::string lands;      // where the body goes when written through
    std::vector<Entry> late = {};  // planted after the check, before the open
    std::string work = {};         // a file open as the run's own work file
};

// A chain of `links` links from l1 to the file "end".
std::vector<Entry> chain(int links) {
    std::vector<Entry> tree;
    for (int i = 1; i <= links; ++i) {
        const std::string next = i == links ? "end" : "l" + std::to_string(i + 1);
        tree.push_back({"l" + std::to_string(i), Kind::link, next});
    }
    return tree;
}

std::optional<std::string> content(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class OutputPath : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(m_home, 0);
    }
    void TearDown() override {
        EXPECT_EQ(::fchdir(m_home), 0);
        ::close(m_home);
        fs::remove_all(m_root);
    }

    // A fresh fixture folder, made current; the owner lookup knows its owners.
    void make(const std::vector<Entry>& tree) {
        if (!m_root.empty()) {
            ASSERT_EQ(::fchdir(m_home), 0);
            fs::remove_all(m_root);
        }
        char name[] = "/tmp/output_path_XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        m_root = name;
        ASSERT_EQ(::chdir(name), 0);
        m_owners.clear();
        add({{"t", Kind::sticky, "", k_folder_owner},
             {"v", Kind::folder, ""},
             {"victim", Kind::file, "victim", k_other}});
        add(tree);
    }

    void add(const std::vector<Entry>& tree) {
        for (const auto& e : tree) {
            int made = 0;
            switch (e.kind) {
                case Kind::folder: made = ::mkdir(e.path.c_str(), 0755); break;
                case Kind::sticky: made = ::mkdir(e.path.c_str(), 0) | ::chmod(e.path.c_str(), 01777); break;
                case Kind::file: std::ofstream(e.path, std::ios::binary) << e.text; break;
                case Kind::fifo: made = ::mkfifo(e.path.c_str(), 0666); break;
                case Kind::link: made = ::symlink(e.text.c_str(), e.path.c_str()); break;
            }
            struct stat st {};
            ASSERT_EQ(made | ::lstat(e.path.c_str(), &st), 0) << e.path;
            m_owners[st.st_ino] = e.owner;
        }
    }

    OwnerLookup owners() const {
        return [this](const struct stat& st) {
            const auto it = m_owners.find(st.st_ino);
            return it == m_owners.end() ? st.st_uid : it->second;
        };
    }

    int m_home = -1;
    std::string m_root;
    std::map<ino_t, uid_t> m_owners;
};

TEST_F(OutputPath, SharedFolderRulesAlongTheWholeWalk) {
    const Row rows[] = {
        {"nothing there yet", {}, "t/new", 0, 0, "t/new"},
        {"a planted folder link", {{"t/d", Kind::link, "../v", k_other}}, "t/d/notes.txt", EACCES,
         EACCES, "v/notes.txt"},
        {"a planted last link", {{"t/out", Kind::link, "../victim", k_other}}, "t/out", EACCES,
         EACCES, "victim"},
        {"the user's own link to a planted link, read in the link's own folder",
         {{"t/planted", Kind::link, "../victim", k_other}, {"t/mine", Kind::link, "planted"}},
         "t/mine", EACCES, EACCES, "victim"},
        {"the user's own link out of the sticky folder", {{"t/own", Kind::link, "../victim"}},
         "t/own", 0, 0, "victim"},
        {"a planted dangling link", {{"t/out", Kind::link, "../new", k_other}}, "t/out", EACCES,
         EACCES, "new"},
        {"the user's own dangling link creates its target", {{"t/out", Kind::link, "../new"}},
         "t/out", 0, 0, "new"},
        {"the folder owner's link and file are no plants",
         {{"t/theirs", Kind::link, "../victim", k_folder_owner}}, "t/theirs", 0, 0, "victim"},
        {"the folder owner's file", {{"t/theirs", Kind::file, "old", k_folder_owner}}, "t/theirs",
         0, 0, "t/theirs"},
        {"a planted FIFO is refused without waiting", {{"t/out", Kind::fifo, "", k_other}},
         "t/out", EACCES, EACCES, ""},
        {"a planted file", {{"t/out", Kind::file, "old", k_other}}, "t/out", EACCES, EACCES,
         "t/out"},
        {"the rules hold in the output's own folder, not the first one",
         {{"t/sub", Kind::folder, ""}, {"t/sub/out", Kind::file, "old", k_other}}, "t/sub/out", 0,
         0, "t/sub/out"},
        {"a sticky folder below a plain one",
         {{"v/s", Kind::sticky, "", k_folder_owner}, {"v/s/out", Kind::file, "old", k_other}},
         "v/s/out", EACCES, EACCES, "v/s/out"},
        {".. after a link leaves the folder the link led to",
         {{"v/w", Kind::folder, ""}, {"t/up", Kind::link, "../v/w"}}, "t/up/../x", 0, 0, "v/x"},
        {"40 links deep", chain(40), "l1", 0, 0, "end"},
        {"41 links deep", chain(41), "l1", 0, ELOOP, "end"},
        {"a link planted after the check", {}, "t/out", 0, EACCES, "victim",
         {{"t/out", Kind::link, "../victim", k_other}}},
        {"a FIFO planted after the check", {}, "t/out", 0, EACCES, "",
         {{"t/out", Kind::fifo, "", k_other}}},
        {"a work file reached through the user's own link", {{"t/w", Kind::link, "../victim"}},
         "t/w", 0, EINVAL, "victim", {}, "victim"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        make(row.tree);
        const auto before = row.lands.empty() ? std::nullopt : content(row.lands);
        EXPECT_EQ(output_refusal(row.output, owners()), row.check);
        add(row.late);
        const Fd work(row.work.empty() ? -1 : ::open(row.work.c_str(), O_RDONLY | O_CLOEXEC));
        const int work_files[] = {work.get()};
        Fd output = open_output(row.output, work_files, owners());
        EXPECT_EQ(output ? 0 : errno, row.open);
        if (output) {
            EXPECT_EQ(write_all(output.get(), "body"), 0);
        }
        output.reset();
        if (!row.lands.empty()) {
            EXPECT_EQ(content(row.lands), row.open ? before : std::optional<std::string>("body"));
        }
    }
}

}  // namespace
}  // namespace support
