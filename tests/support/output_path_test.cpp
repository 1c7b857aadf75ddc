// The output's walk over a fixture tree in a fresh folder. Owners that only root could give
// are named through the walk's owner lookup, so neither the kernel's own protected_*
// settings nor whether the test runs as root change what is tested.

#include "support/output_path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <optional>
#include <vector>

#include "scratch.h"
#include "support/file.h"

namespace support {
namespace {

enum Kind { k_folder, k_sticky, k_file, k_fifo, k_link };
const uid_t k_owner = 5001;  // owns the sticky folders
const uid_t k_other = 4242;  // plants names in them

struct Entry {
    std::string path;
    Kind kind;
    std::string text = {};  // a file's bytes, a link's target
    uid_t owner = ::geteuid();
};

// A chain of `links` links from l1 to the file "end".
std::vector<Entry> chain(int links) {
    std::vector<Entry> tree;
    for (int i = 1; i <= links; ++i) {
        tree.push_back(
            {"l" + std::to_string(i), k_link, i == links ? "end" : "l" + std::to_string(i + 1)});
    }
    return tree;
}

TEST(OutputPath, SharedFolderRulesAlongTheWholeWalk) {
    struct Row {
        std::vector<Entry> tree;  // besides t (sticky), v (a folder) and victim (another's)
        std::string output;
        int check;                     // output_refusal's answer
        int open;                      // open_output's errno, 0 when it opens
        std::string lands;             // where the body goes when written through
        std::vector<Entry> late = {};  // planted after the check, before the open
        std::string work = {};         // a file open as the run's own work file
    };
    const Row rows[] = {
        // a planted folder link, a planted last link
        {{{"t/d", k_link, "../v", k_other}}, "t/d/notes.txt", EACCES, EACCES, "v/notes.txt"},
        {{{"t/out", k_link, "../victim", k_other}}, "t/out", EACCES, EACCES, "victim"},
        // the user's own link to a planted link, read in the link's own folder
        {{{"t/p", k_link, "../victim", k_other}, {"t/mine", k_link, "p"}},
         "t/mine",
         EACCES,
         EACCES,
         "victim"},
        // the user's own link out of the sticky folder; a dangling one creates its target
        {{{"t/own", k_link, "../victim"}}, "t/own", 0, 0, "victim"},
        {{{"t/out", k_link, "../new"}}, "t/out", 0, 0, "new"},
        // the folder owner's link and file are no plants
        {{{"t/theirs", k_link, "../victim", k_owner}}, "t/theirs", 0, 0, "victim"},
        {{{"t/theirs", k_file, "old", k_owner}}, "t/theirs", 0, 0, "t/theirs"},
        // another user's FIFO and file
        {{{"t/out", k_fifo, "", k_other}}, "t/out", EACCES, EACCES, ""},
        {{{"t/out", k_file, "old", k_other}}, "t/out", EACCES, EACCES, "t/out"},
        // the rules of the name's own folder: a plain one in t, a sticky one in v
        {{{"t/s", k_folder}, {"t/s/o", k_file, "old", k_other}}, "t/s/o", 0, 0, "t/s/o"},
        {{{"v/s", k_sticky, "", k_owner}, {"v/s/o", k_file, "old", k_other}},
         "v/s/o",
         EACCES,
         EACCES,
         "v/s/o"},
        // .. after a link leaves the folder the link led to
        {{{"v/w", k_folder}, {"t/up", k_link, "../v/w"}}, "t/up/../x", 0, 0, "v/x"},
        {chain(40), "l1", 0, 0, "end"},
        {chain(41), "l1", 0, ELOOP, "end"},
        // a link or FIFO planted after the check
        {{}, "t/out", 0, EACCES, "victim", {{"t/out", k_link, "../victim", k_other}}},
        {{}, "t/out", 0, EACCES, "", {{"t/out", k_fifo, "", k_other}}},
        // a work file reached through the user's own link, judged before it is truncated
        {{{"t/w", k_link, "../victim"}}, "t/w", 0, EINVAL, "victim", {}, "victim"},
    };
    std::map<ino_t, uid_t> owners;
    const OwnerLookup owner_of = [&](const struct stat& st) {
        const auto it = owners.find(st.st_ino);
        return it == owners.end() ? st.st_uid : it->second;
    };
    const auto add = [&](const std::vector<Entry>& tree) {
        for (const auto& e : tree) {
            const char* path = e.path.c_str();
            const int made = e.kind == k_folder   ? ::mkdir(path, 0755)
                             : e.kind == k_sticky ? ::mkdir(path, 0) | ::chmod(path, 01777)
                             : e.kind == k_fifo   ? ::mkfifo(path, 0666)
                             : e.kind == k_link   ? ::symlink(e.text.c_str(), path)
                                                  : !(std::ofstream(path) << e.text);
            struct stat st {};
            ASSERT_EQ(made | ::lstat(path, &st), 0) << path;
            owners[st.st_ino] = e.owner;
        }
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.output + " in row " + std::to_string(++n));
        const scratch::Folder folder("output_path");
        owners.clear();  // a removed row's numbers come back
        add({{"t", k_sticky, "", k_owner}, {"v", k_folder}, {"victim", k_file, "victim", k_other}});
        add(row.tree);
        const auto before = scratch::read_file(row.lands);
        EXPECT_EQ(output_refusal(row.output, owner_of), row.check);
        add(row.late);
        const Fd work(::open(row.work.c_str(), O_RDONLY | O_CLOEXEC));
        const int work_files[] = {work.get()};
        ::alarm(10);  // an open that waits on a FIFO would otherwise hold the suite for ever
        Fd output = open_output(row.output, work_files, owner_of);
        ::alarm(0);
        EXPECT_EQ(output ? write_all(output.get(), "body") : errno, row.open);
        output.reset();
        EXPECT_EQ(scratch::read_file(row.lands), row.open ? before : "body");
    }
}

}  // namespace
}  // namespace support
