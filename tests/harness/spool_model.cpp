#include "harness/spool_model.h"

namespace harness {

std::string literal_spool(const std::vector<std::string>& chunks) {
    constexpr std::size_t k_area = 8192;
    std::string spool;
    std::string area(k_area + 1, '\0');
    std::size_t total = 0;
    for (const auto& chunk : chunks) {
        area.replace(0, chunk.size(), chunk);
        area[chunk.size()] = '\0';
        if (spool.size() < total + k_area) spool.resize(total + k_area);
        spool.replace(total, k_area, area, 0, k_area);
        total += chunk.size();
    }
    return spool;
}

}  // namespace harness
