// The agent's common library as its callers see it: folders, logging, client
// configuration, the component factory and connections to the configuration server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "agentcommon/Export.h"

namespace Ardentis {

// The agent's folders. An installation is <root>/bin (this executable and the
// library's modules), <root>/config and <root>/log, where <root> is the parent of the
// running executable's folder. Paths have no trailing separator; callers append
// "/file". When the executable's path cannot be read, GetBinPath returns "." and the
// others are relative to it.
CORVANE_COMMON_API std::wstring GetBinPath();
CORVANE_COMMON_API std::wstring GetLogPath();
CORVANE_COMMON_API std::wstring GetConfigPath();

// The configuration server's certificate, pinned by the library on first contact and
// looked for by the program before and after the ping. Messages and the report name it
// by its place in the installation.
inline constexpr std::string_view kPinnedCertificateFile = "config/ConfigurationServer.PEM";

// GetConfigPath() followed by "/ConfigurationServer.PEM".
inline std::wstring PinnedCertificatePath() {
    const std::string_view name = kPinnedCertificateFile.substr(kPinnedCertificateFile.rfind('/'));
    return GetConfigPath() + std::wstring(name.begin(), name.end());
}

class CORVANE_COMMON_API LoggerFactory {
  public:
    // Configures the agent's log from a log4j-style XML file; the log folder reaches the
    // file as ${CORVANE_LOG_DIR}. Creates the log folder when it is missing. A missing or
    // invalid file gives a default rolling file log in the log folder. Never writes to
    // the console.
    void Initialize(const std::wstring& configFile, const std::wstring& logFolder);
};

// The process-wide logger factory; never deleted.
CORVANE_COMMON_API LoggerFactory* GetLoggerFactory();

// One <Environment> setting of a service descriptor.
struct ServiceSetting {
    std::string name;
    std::string value;
};

// A parsed service descriptor. A record that could not be parsed keeps usable false
// and the component factory skips it.
class CORVANE_COMMON_API ServiceConfig {
  public:
    ServiceConfig();
    ~ServiceConfig();

    std::string name;
    std::string module;
    std::string type;
    std::string classification;
    std::vector<ServiceSetting> environment;
    bool usable = false;
};

class CORVANE_COMMON_API IConfigurationManager {
  public:
    // Releases what the manager holds and stops the services that the component
    // factory loaded, so that no module code runs after it.
    virtual void Shutdown() = 0;
    // Fills config from the descriptor text. Malformed XML or a missing attribute
    // leaves config->usable false and logs what is wrong; never throws.
    virtual void ParseServiceConfig(const std::string& descriptor, ServiceConfig* config) = 0;

  protected:
    ~IConfigurationManager() = default;
};

// A service that a module provides; the component factory owns it.
class CORVANE_COMMON_API IServiceComponent {
  public:
    virtual ~IServiceComponent();
    // Called once by ClientConfigurationHelper::Run.
    virtual void Start() {}
};

class CORVANE_COMMON_API IComponentFactory {
  public:
    // Loads, for every record added and not yet loaded, the module it names from the
    // bin folder and registers the service the module creates under the record's name.
    // Failures are logged and leave the service absent.
    virtual void LoadComponents() = 0;
    // Keeps a share of the record until LoadComponents has used it.
    virtual void AddServiceConfig(std::shared_ptr<ServiceConfig>& config) = 0;

  protected:
    ~IComponentFactory() = default;
};

// The process-wide component factory; never deleted.
CORVANE_COMMON_API IComponentFactory* GetComponentFactory();

// The service registered under name, or null when there is none.
CORVANE_COMMON_API IServiceComponent* _getService(std::string name);

class CORVANE_COMMON_API IConnection {
  public:
    virtual ~IConnection();
    // One request to the configuration server; the Get* calls describe its outcome.
    virtual bool Ping() = 0;
    // 0 after a 2xx answer, 22 after any other status, otherwise the transfer's error.
    virtual std::int32_t GetLastErrorCode() const = 0;
    // The HTTP status of the last ping, 0 when no answer arrived.
    virtual std::int32_t GetLastResponseCode() const = 0;
    // Empty after success, otherwise one sentence naming what failed and where.
    virtual std::string GetLastErrorMessage() const = 0;
};

class CORVANE_COMMON_API IConnectionFactory : public IServiceComponent {
  public:
    // The name the connection factory service is registered under.
    static std::string GetServiceName();
    // Puts a new connection into the caller's empty holder.
    virtual void CreateConnection(std::shared_ptr<IConnection>& holder) = 0;
    // Takes a connection back; the holder may be emptied.
    virtual void ReleaseConnection(std::shared_ptr<IConnection>& holder) = 0;
};

class CORVANE_COMMON_API ClientConfigurationHelper {
  public:
    // standalone: true when the agent runs without a configuration server. The
    // helper then starts no services in Run.
    explicit ClientConfigurationHelper(bool standalone);
    virtual ~ClientConfigurationHelper();
    ClientConfigurationHelper(const ClientConfigurationHelper&) = delete;
    ClientConfigurationHelper& operator=(const ClientConfigurationHelper&) = delete;

    // The configuration manager of that name ("XMLConfigurationManager"); null for
    // any other name. The pointer is borrowed.
    IConfigurationManager* Initialize(const std::string& managerName);
    // Starts the services that the component factory has loaded.
    void Run();

  private:
    bool standalone_;
};

}  // namespace Ardentis
