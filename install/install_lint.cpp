#include "install/install_lint.h"

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>

#include <algorithm>
#include <numeric>

#include "install/install_keys.h"
#include "util/printable_text.h"

namespace corvane {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kLargestTypo = 2;

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string_view MeantKey(std::string_view key) {
    if (key.starts_with(kByteOrderMark)) key.remove_prefix(kByteOrderMark.size());
    const auto known = [&](const InstallKey& row) { return row.name == key; };
    if (std::any_of(kInstallKeys.begin(), kInstallKeys.end(), known)) return {};
    for (const InstallKey& row : kInstallKeys) {
        if (boost::algorithm::iequals(key, row.name) || EditDistance(key, row.name) <= kLargestTypo)
            return row.name;
    }
    return {};
}

std::vector<std::string> LintInstallParameters(const InstallParameters& table) {
    std::vector<std::string> warnings;
    for (const auto& [key, value] : table) {
        if (key.starts_with(kByteOrderMark))
            warnings.push_back(
                "install_config.txt begins with a UTF-8 byte-order mark, which "
                "becomes part of the first key " +
                util::Quoted(key) +
                ": save the file without it (plain ASCII, or UTF-8 without a "
                "byte-order mark)");
        // A key that begins with "#" is commented out on purpose.
        if (key.empty() || key.starts_with('#')) continue;
        if (const std::string_view meant = MeantKey(key); !meant.empty())
            warnings.push_back("install_config.txt: the key " + util::Quoted(key) +
                               " is not one the agent reads; if it means " + std::string(meant) +
                               ", write it exactly so (keys are case-sensitive)");
    }
    for (const InstallKey& known : kInstallKeys) {
        const std::string name(known.name);
        const auto [first, end] = table.equal_range(name);
        if (first == end) continue;
        if (const auto count = std::distance(first, end); count > 1)
            warnings.push_back("install_config.txt names " + name + " " + std::to_string(count) +
                               " times; only the first in the file counts: remove the others");
        const bool holdsText = known.defaultSeconds == 0;
        if (holdsText && boost::algorithm::trim_copy(first->second) != first->second)
            warnings.push_back("install_config.txt: the value of " + name +
                               " has blanks around it; the agent leaves them out but the "
                               "report shows them: remove them");
    }
    return warnings;
}

}  // namespace corvane
