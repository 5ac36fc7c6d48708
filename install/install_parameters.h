// The agent's installation parameters: install_config.txt as an ordered key/value table.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace corvane {

// Ordered by key in unsigned byte order (std::string's own comparison), case-sensitive.
// Keys may repeat; a multimap keeps equal keys in the order they were inserted.
using InstallParameters = std::multimap<std::string, std::string>;

// Only the first 4096 bytes of install_config.txt are ever read.
constexpr std::size_t kInstallParameterWindow = 4096;

// Adds one entry for every line of text that holds an "=" (text ends at its first zero
// byte; lines end at line feeds). The key is what stands before the first "=", trimmed
// of white space; the value is the rest, trimmed of carriage returns only, so blanks
// around a value are kept. Nothing else is checked: "#" and empty keys are entries too.
void ParseInstallParameters(std::string_view text, InstallParameters& table);

// Reads the configuration folder's install_config.txt into table and returns the
// table's entry count afterwards: zero for a missing, unreadable or entry-less file.
// A file that cannot be read is named in the agent's log with the reason.
std::size_t LoadInstallParameters(InstallParameters& table);

// Writes to the agent's log that the file at path could not be read, and why
// (install_parameters_log.cpp; the loader calls it, with logging started).
void LogUnreadableInstallParameters(const std::wstring& path, const std::string& reason);

// The value of the first-loaded entry with exactly this key, or null.
const std::string* FindInstallParameter(const InstallParameters& table, const std::string& key);

}  // namespace corvane
