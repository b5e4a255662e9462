#include "LocalPorts.h"
#include "api/network/HttpClient.h"

#include <QCoreApplication>

namespace {

// The test's seams for a client built from the real entry point: the service it talks to and the
// engine's local ports, set as the application object comes up, before main goes on.
void useTheTestsService()
{
    Tavorin::Api::Network::HttpClient::instance()->setBaseUrl(qEnvironmentVariable("MIREVO_TEST_BASE_URL"));
    LocalPorts::useFree();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(useTheTestsService)
