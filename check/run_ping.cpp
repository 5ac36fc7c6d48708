#include "check/run_ping.h"

#include <ace/Init_ACE.h>

#include "platform/file_status.h"

namespace corvane {
namespace {

constexpr char kServiceDescriptor[] =
    "<Service name=\"ConnectionFactory\" module=\"CommunicationAPI\" type=\"Service\" "
    "classification=\"Service\"><Environment></Environment></Service>";

// Releases what the ping acquired, in order, and stops ACE.
void TearDown(PingSession& session, Ardentis::IConnectionFactory* factory,
              Ardentis::IConfigurationManager* manager) {
    if (factory && session.connection) factory->ReleaseConnection(session.connection);
    session.connection.reset();
    if (manager) manager->Shutdown();
    ACE::fini();
}

PingResult Unavailable(PingSession& session, Ardentis::IConnectionFactory* factory,
                       Ardentis::IConfigurationManager* manager, std::string what) {
    TearDown(session, factory, manager);
    return {std::nullopt, std::move(what)};
}

}  // namespace

PingResult RunPing(PingSession& session) {
    session.helper = std::make_unique<Ardentis::ClientConfigurationHelper>(false);
    session.descriptor = kServiceDescriptor;

    Ardentis::IConfigurationManager* manager =
        session.helper->Initialize("XMLConfigurationManager");
    if (!manager) return Unavailable(session, nullptr, nullptr, "the configuration manager");
    Ardentis::IComponentFactory* components = Ardentis::GetComponentFactory();
    if (!components) return Unavailable(session, nullptr, manager, "the component factory");

    PingOutcome outcome;
    session.serviceConfig = std::make_shared<Ardentis::ServiceConfig>();
    manager->ParseServiceConfig(session.descriptor, session.serviceConfig.get());
    components->AddServiceConfig(session.serviceConfig);
    components->LoadComponents();
    session.helper->Run();

    auto* factory = dynamic_cast<Ardentis::IConnectionFactory*>(
        Ardentis::_getService(Ardentis::IConnectionFactory::GetServiceName()));
    if (!factory) return Unavailable(session, nullptr, manager, "the ConnectionFactory service");
    factory->CreateConnection(session.connection);
    if (!session.connection) return Unavailable(session, factory, manager, "a connection");

    session.certificatePath = Ardentis::PinnedCertificatePath();
    outcome.certificateBefore = platform::PathExists(session.certificatePath);
    session.connection->Ping();
    outcome.certificateAfter = platform::PathExists(session.certificatePath);

    outcome.lastErrorCode = session.connection->GetLastErrorCode();
    outcome.lastResponseCode = session.connection->GetLastResponseCode();
    outcome.lastErrorMessage = session.connection->GetLastErrorMessage();

    TearDown(session, factory, manager);
    return {std::move(outcome), {}};
}

}  // namespace corvane
