#pragma once

// The output file's name, walked one component at a time as the kernel would walk it, with
// the rules of a sticky folder that anyone may write to applied by the program itself, so
// that another user's name planted there is never written through, whatever the kernel's
// protected_symlinks, protected_fifos and protected_regular settings are.

#include <sys/stat.h>

#include <functional>
#include <span>
#include <string>

#include "support/fd.h"

namespace support {

// Who owns a file as the rules see it; empty means its own st_uid (the tests name owners
// that only root could give).
using OwnerLookup = std::function<uid_t(const struct stat&)>;

// The errno with which an output name is refused before anything is fetched, 0 when it is
// not: EACCES when a symbolic link met on the way, a folder component's or the last name's,
// stands in a sticky folder that anyone may write to and belongs neither to the user nor to
// that folder's owner, or when the name itself is such a folder's FIFO or regular file of
// another user. Nothing is created; any other failure is left to open_output to tell.
int output_refusal(const std::string& name, const OwnerLookup& owner_of = {});

// Opens the output write-only: created, or truncated once what was opened has passed the
// rules of output_refusal and is none of `work_files` (EINVAL then, the file untouched).
// Every link is followed by hand and never by the kernel outside /proc, so a name swapped
// since the check cannot redirect the write; a FIFO is checked before the open may wait
// for its reader. A device, FIFO or the user's own link is written through, not replaced.
// Invalid, errno set, on failure; ELOOP past 40 links.
Fd open_output(const std::string& name, std::span<const int> work_files,
               const OwnerLookup& owner_of = {});

}  // namespace support
