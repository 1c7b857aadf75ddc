#pragma once

// The run's own files in the current directory. Each is removed and created anew, never
// written through a link, and none may be named as the output file.

#include <array>
#include <string>

namespace support {

inline const std::string k_spool_file = "pageglean.dummys";           // the response as received
inline const std::string k_response_file = "pageglean.dummy";         // exactly the hop's response
inline const std::string k_original_file = "pageglean.original";      // the first redirected one
inline const std::string k_redirected_file = "pageglean.redirected";  // quiet: last target
inline const std::string k_modified_file = "pageglean.modified";      // quiet: Last-Modified

inline const std::array<const std::string*, 5> k_work_files = {
    &k_spool_file, &k_response_file, &k_original_file, &k_redirected_file, &k_modified_file};

// Whether `path` leads to one of the work files: it, or a name one of its symbolic links
// leads through (a dangling one included), has a work-file name as its last component and
// the current directory as its directory (the same device and inode, however spelled).
bool is_work_file(const std::string& path);

}  // namespace support
