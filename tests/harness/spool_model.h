#pragma once

// The spool file as the plain algorithm leaves it: after every receive of n bytes, the whole
// 8,192-byte receive area (the n bytes, a zero byte, what earlier receives left) written at
// the received total. The program must leave the same bytes, however it writes them.

#include <string>
#include <vector>

namespace harness {

std::string literal_spool(const std::vector<std::string>& chunks);

}  // namespace harness
