// The module's entry: the ConnectionFactory service.
#include <curl/curl.h>

#include "agentcommon/ServiceModule.h"
#include "communication/https_connection.h"

namespace Ardentis {
namespace {

class ConnectionFactory final : public IConnectionFactory {
  public:
    ConnectionFactory() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~ConnectionFactory() override { curl_global_cleanup(); }
    ConnectionFactory(const ConnectionFactory&) = delete;
    ConnectionFactory& operator=(const ConnectionFactory&) = delete;

    void CreateConnection(std::shared_ptr<IConnection>& holder) override {
        holder = std::make_shared<HttpsConnection>();
    }
    void ReleaseConnection(std::shared_ptr<IConnection>& holder) override { holder.reset(); }
};

}  // namespace
}  // namespace Ardentis

CORVANE_MODULE_EXPORT Ardentis::IServiceComponent* CorvaneCreateService(
    const Ardentis::ServiceConfig& config) {
    if (config.name != Ardentis::IConnectionFactory::GetServiceName()) return nullptr;
    return new Ardentis::ConnectionFactory;
}
