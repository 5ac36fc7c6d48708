// The library's configuration manager, reached the way the program reaches it.
#include <gtest/gtest.h>
#include <log4cxx/helpers/loglog.h>

#include <string>

#include "agentcommon/CorvaneCommon.h"

namespace Ardentis {
namespace {

// Logging is not configured in unit tests; log4cxx must not complain on the console.
class QuietLogging : public ::testing::Environment {
  public:
    void SetUp() override { log4cxx::helpers::LogLog::setQuietMode(true); }
};
[[maybe_unused]] const auto* const kQuietLogging =
    ::testing::AddGlobalTestEnvironment(new QuietLogging);

const std::string kProgramDescriptor =
    "<Service name=\"ConnectionFactory\" module=\"CommunicationAPI\" type=\"Service\" "
    "classification=\"Service\"><Environment></Environment></Service>";

IConfigurationManager* Manager() {
    ClientConfigurationHelper helper(false);
    return helper.Initialize("XMLConfigurationManager");
}

TEST(ClientConfigurationHelper, KnowsOnlyTheXmlManager) {
    ClientConfigurationHelper helper(false);
    EXPECT_NE(helper.Initialize("XMLConfigurationManager"), nullptr);
    for (const char* name :
         {"", "xmlconfigurationmanager", "XMLConfigurationManager ", "JSONConfigurationManager"})
        EXPECT_EQ(helper.Initialize(name), nullptr) << '"' << name << '"';
}

TEST(ParseServiceConfig, ReadsTheProgramsDescriptor) {
    ServiceConfig config;
    ASSERT_NO_THROW(Manager()->ParseServiceConfig(kProgramDescriptor, &config));
    EXPECT_TRUE(config.usable);
    EXPECT_EQ(config.name, "ConnectionFactory");
    EXPECT_EQ(config.module, "CommunicationAPI");
    EXPECT_EQ(config.type, "Service");
    EXPECT_EQ(config.classification, "Service");
    EXPECT_TRUE(config.environment.empty());
    EXPECT_EQ(config.name, IConnectionFactory::GetServiceName());
}

TEST(ParseServiceConfig, TakesEnvironmentChildrenAsSettings) {
    ServiceConfig config;
    Manager()->ParseServiceConfig(
        "<Service name=\"S\" module=\"M\" type=\"Service\" classification=\"C\">"
        "<Environment><Host>127.0.0.1</Host><!-- note --><Port>8443</Port><Empty/>"
        "</Environment></Service>",
        &config);
    ASSERT_TRUE(config.usable);
    ASSERT_EQ(config.environment.size(), 3u);
    EXPECT_EQ(config.environment[0].name, "Host");
    EXPECT_EQ(config.environment[0].value, "127.0.0.1");
    EXPECT_EQ(config.environment[1].name, "Port");
    EXPECT_EQ(config.environment[1].value, "8443");
    EXPECT_EQ(config.environment[2].name, "Empty");
    EXPECT_EQ(config.environment[2].value, "");
}

TEST(ParseServiceConfig, UnusableDescriptorsLeaveTheRecordUnusable) {
    const std::string descriptors[] = {
        "",
        "not xml at all",
        "<Service name=\"ConnectionFactory\" module=\"CommunicationAPI\"",
        "<Service name=\"ConnectionFactory\" module=\"CommunicationAPI\" type=\"Service\" "
        "classification=\"Service\"><Environment></Service>",
        "<Services name=\"ConnectionFactory\" module=\"CommunicationAPI\" type=\"Service\" "
        "classification=\"Service\"/>",
        "<Service module=\"CommunicationAPI\" type=\"Service\" classification=\"Service\"/>",
        "<Service name=\"ConnectionFactory\" type=\"Service\" classification=\"Service\"/>",
        "<Service name=\"ConnectionFactory\" module=\"CommunicationAPI\" "
        "classification=\"Service\"/>",
        "<Service name=\"ConnectionFactory\" module=\"CommunicationAPI\" type=\"Service\"/>",
    };
    for (const std::string& descriptor : descriptors) {
        ServiceConfig config;
        EXPECT_NO_THROW(Manager()->ParseServiceConfig(descriptor, &config)) << descriptor;
        EXPECT_FALSE(config.usable) << descriptor;
    }
}

TEST(ParseServiceConfig, ReusedRecordDropsWhatAnEarlierParseLeft) {
    ServiceConfig config;
    Manager()->ParseServiceConfig(kProgramDescriptor, &config);
    ASSERT_TRUE(config.usable);
    Manager()->ParseServiceConfig("<Service name=\"Other\"/>", &config);
    EXPECT_FALSE(config.usable);
}

}  // namespace
}  // namespace Ardentis
