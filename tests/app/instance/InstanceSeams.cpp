#include "LocalPorts.h"
#include "api/network/HttpClient.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <unistd.h>

namespace {

// The window is closed as a user closes it: shown (the test window hides itself once connected),
// then closed, which also ends the client once it was the last one.
void closeTheWindow()
{
    const QList<QWindow *> windows = QGuiApplication::topLevelWindows();
    for (QWindow *window : windows) {
        window->show();
        window->close();
    }
}

// The test's seams for a client built from the real entry point: the service it talks to and the
// engine's local ports, set as the application object comes up, before main goes on; and a line
// "close" on standard input closes the window.
void useTheTestsService()
{
    Tavorin::Api::Network::HttpClient::instance()->setBaseUrl(qEnvironmentVariable("MIREVO_TEST_BASE_URL"));
    LocalPorts::useFree();
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(input, &QSocketNotifier::activated, input, [input]() {
        char buffer[64];
        const ssize_t size = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (size <= 0) {
            input->setEnabled(false);
            return;
        }
        if (QByteArray(buffer, int(size)).contains("close"))
            closeTheWindow();
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(useTheTestsService)
