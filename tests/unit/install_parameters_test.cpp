#include "install/install_parameters.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(ParseInstallParameters, KeepsEqualKeysInFileOrder) {
    InstallParameters table;
    ParseInstallParameters("B=1\na=2\nA=3\nB=4\n", table);
    std::vector<std::pair<std::string, std::string>> entries(table.begin(), table.end());
    EXPECT_EQ(entries, (decltype(entries){{"A", "3"}, {"B", "1"}, {"B", "4"}, {"a", "2"}}));
    EXPECT_EQ(*FindInstallParameter(table, "B"), "1");
}

}  // namespace
}  // namespace corvane
