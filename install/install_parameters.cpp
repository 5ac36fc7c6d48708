#include "install/install_parameters.h"

#include <algorithm>
#include <array>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <vector>

#include "agentcommon/CorvaneCommon.h"
#include "platform/file_read.h"

namespace corvane {

void ParseInstallParameters(std::string_view text, InstallParameters& table) {
    text = text.substr(0, text.find('\0'));

    std::vector<std::string_view> lines;
    boost::algorithm::split(lines, text, boost::algorithm::is_any_of("\n"),
                            boost::algorithm::token_compress_off);

    static const auto lineEnds = boost::algorithm::is_any_of(std::string_view("\r\n\0", 3));
    for (const std::string_view line : lines) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;  // empty lines included
        std::string key = boost::algorithm::trim_copy(std::string(line.substr(0, equals)));
        std::string value =
            boost::algorithm::trim_copy_if(std::string(line.substr(equals + 1)), lineEnds);
        // emplace puts an equal key after the ones already there: file order survives.
        table.emplace(std::move(key), std::move(value));
    }
}

std::size_t LoadInstallParameters(InstallParameters& table) {
    std::array<char, kInstallParameterWindow> buffer{};
    const std::wstring path = Ardentis::GetConfigPath() + L"/install_config.txt";
    // The console message stays the program's one for every cause; the log says which.
    if (const auto count = platform::ReadFileStart(path, buffer))
        ParseInstallParameters(std::string_view(buffer.data(), *count), table);
    else
        LogUnreadableInstallParameters(path, count.Error().reason);
    return table.size();
}

const std::string* FindInstallParameter(const InstallParameters& table, const std::string& key) {
    const auto entry = table.lower_bound(key);
    return entry != table.end() && entry->first == key ? &entry->second : nullptr;
}

}  // namespace corvane
