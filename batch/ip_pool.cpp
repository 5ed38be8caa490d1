#include "batch/ip_pool.h"

#include <algorithm>

#include "batch/text_limits.h"

namespace {

std::string last_part(const std::string& address) {
    std::size_t dot = address.rfind('.');
    return dot == std::string::npos ? address : address.substr(dot + 1);
}

std::string prefix(const std::string& address) {
    std::size_t dot = address.rfind('.');
    return dot == std::string::npos ? std::string() : address.substr(0, dot);
}

}  // namespace

std::vector<std::string> build_ip_pool(const std::string& range_start, const std::string& range_end,
                                       const std::vector<std::string>& listed_ips, int& count) {
    int first = leading_number(last_part(range_start));
    int last = leading_number(last_part(range_end));
    if (first > last) std::swap(first, last);
    count = last - first + 1;
    std::vector<std::string> pool;
    // A range larger than any address block could ever be is not walked.
    if (count < 1 || count > 65536) return pool;
    std::string base = prefix(range_start);
    for (int n = first; n <= last; ++n) {
        std::string candidate = base + "." + std::to_string(n);
        if (std::find(listed_ips.begin(), listed_ips.end(), candidate) == listed_ips.end())
            pool.push_back(std::move(candidate));
    }
    return pool;
}
