#include "agentcommon/ServiceModule.h"

namespace Ardentis {
namespace {

class StubConnection final : public IConnection {
public:
    bool Ping() override { return false; }
    std::int32_t GetLastErrorCode() const override { return 0; }
    std::int32_t GetLastResponseCode() const override { return 0; }
    std::string GetLastErrorMessage() const override { return {}; }
};

class ConnectionFactory final : public IConnectionFactory {
public:
    void CreateConnection(std::shared_ptr<IConnection>& holder) override {
        holder = std::make_shared<StubConnection>();
    }
    void ReleaseConnection(std::shared_ptr<IConnection>& holder) override { holder.reset(); }
};

}  // namespace
}  // namespace Ardentis

extern "C" __attribute__((visibility("default"))) Ardentis::IServiceComponent* CorvaneCreateService(
    const Ardentis::ServiceConfig& config) {
    if (config.name != Ardentis::IConnectionFactory::GetServiceName()) return nullptr;
    return new Ardentis::ConnectionFactory;
}
