// Stands in for the CommunicationAPI module in tests and fails as a broken module would,
// the way CORVANE_TEST_FAULT says:
//   not-a-connection-factory  the ConnectionFactory service is some other service
//   no-connection             the factory leaves the caller's connection holder empty
//   throw-from-ping           the connection's Ping throws
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "agentcommon/ServiceModule.h"

namespace {

std::string Fault() {
    const char* fault = std::getenv("CORVANE_TEST_FAULT");
    return fault ? fault : "";
}

class OtherService final : public Ardentis::IServiceComponent {};

class ThrowingConnection final : public Ardentis::IConnection {
  public:
    bool Ping() override { throw std::runtime_error("the test connection failed on purpose"); }
    std::int32_t GetLastErrorCode() const override { return 0; }
    std::int32_t GetLastResponseCode() const override { return 0; }
    std::string GetLastErrorMessage() const override { return {}; }
};

class FaultyConnectionFactory final : public Ardentis::IConnectionFactory {
  public:
    void CreateConnection(std::shared_ptr<Ardentis::IConnection>& holder) override {
        if (Fault() == "throw-from-ping") holder = std::make_shared<ThrowingConnection>();
    }
    void ReleaseConnection(std::shared_ptr<Ardentis::IConnection>& holder) override {
        holder.reset();
    }
};

}  // namespace

CORVANE_MODULE_EXPORT Ardentis::IServiceComponent* CorvaneCreateService(
    const Ardentis::ServiceConfig&) {
    if (Fault() == "not-a-connection-factory") return new OtherService;
    return new FaultyConnectionFactory;
}
