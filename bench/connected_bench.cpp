// What the client's window costs in CPU while it is connected: first on screen, then hidden. The window
// is the real one, loaded as the executable loads it (same style, translations, modules, import paths
// and address), with the real facade signed in to the development service; a click on the connect
// button connects through the proxy-core stand-in. Nothing of the product is sped up.
//
//   mirevo_connected_bench [seconds]
//
// Prints "connected cpu_percent=N hidden_cpu_percent=N": the process's CPU time (user and system) over
// `seconds` of wall time each (default 10), as a percentage of one core; then the frames the window drew
// per second in each ("connected frames_per_second=N hidden_frames_per_second=N"). Expects the command
// stand-ins first on PATH and a home of its own (scripts/bench sees to both).

#include "DevService.h"
#include "api/network/HttpClient.h"
#include "app/QmlApiAdapter.h"
#include "app/QtTranslations.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;

namespace {

qint64 cpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

struct Cost
{
    double cpuPercent = 0;
    // Unlike the CPU share, not disturbed by what else runs on the machine.
    double framesPerSecond = 0;
};

// What the process spent while a plain event loop, as the client's own, ran on for `milliseconds`
// (QTest::qWait would add wake-ups of its own): the share of one core, and the frames the window drew.
Cost costOver(QQuickWindow *window, int milliseconds)
{
    int frames = 0;
    const QMetaObject::Connection counting =
        QObject::connect(window, &QQuickWindow::afterRendering, window, [&frames]() { ++frames; });
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    const qint64 cpuBefore = cpuMicroseconds();
    QElapsedTimer wall;
    wall.start();
    loop.exec();
    const double wallMicroseconds = double(wall.nsecsElapsed() / 1000);
    QObject::disconnect(counting);
    return {100.0 * double(cpuMicroseconds() - cpuBefore) / wallMicroseconds,
            frames * 1e6 / wallMicroseconds};
}

bool fail(const char *what)
{
    std::fprintf(stderr, "connected bench: %s\n", what);
    return false;
}

bool measure(int seconds, Cost &visible, Cost &hidden)
{
    DevService dev;
    if (!dev.start())
        return fail("the development service did not start");
    HttpClient::instance()->setBaseUrl(dev.baseUrl());

    QQmlApplicationEngine engine;
    auto *api = new QmlApiAdapter(QCoreApplication::instance());
    QSignalSpy signedIn(api, &QmlApiAdapter::loginSuccess);
    api->login(DevService::demoEmail(), DevService::demoPassword());
    if (!signedIn.wait(10000))
        return fail("the demo account did not sign in");
    QSignalSpy trial(api, &QmlApiAdapter::trialActivated);
    api->activateFreeTrial();
    if (!trial.wait(10000))
        return fail("the free trial did not start");

    engine.rootContext()->setContextProperty(QStringLiteral("API"), api);
    engine.addImportPath(QCoreApplication::applicationDirPath() + QStringLiteral("/qml"));
    engine.addImportPath(QStringLiteral(":/qt/qml"));
    engine.addImportPath(QStringLiteral(":/"));
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/UntitledProject1Content/App.qml")));
    if (engine.rootObjects().isEmpty())
        return fail("the window did not load");
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
    if (!window || !QTest::qWaitForWindowExposed(window))
        return fail("the window did not show");

    // The splash runs its full time and gives way to the main screen, which picks the service's first
    // server; the stack takes no clicks until the splash is gone.
    QQuickItem *button = nullptr;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000 && !(button && button->property("selectedServerId").toInt() > 0 &&
                                        !window->findChild<QQuickItem *>(QStringLiteral("splashScreen")))) {
        QTest::qWait(50);
        button = window->findChild<QQuickItem *>(QStringLiteral("connectBtn"));
    }
    if (!button || button->property("selectedServerId").toInt() <= 0)
        return fail("the main screen showed no connect button with a server");

    QSignalSpy connected(api, &QmlApiAdapter::vpnConnected);
    const QPointF center = button->mapToScene(QPointF(button->width() / 2, button->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, center.toPoint());
    if (!connected.wait(15000))
        return fail("the client did not connect");

    // Past the screen's own reaction to the connection, then the steady state.
    QTest::qWait(2000);
    visible = costOver(window, seconds * 1000);
    window->hide();
    QTest::qWait(1000);
    hidden = costOver(window, seconds * 1000);
    window->show();

    QSignalSpy disconnected(api, &QmlApiAdapter::vpnDisconnected);
    window->close();
    if (disconnected.isEmpty() && !disconnected.wait(10000))
        return fail("closing the window did not disconnect");
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    Tavorin::Api::installQtTranslations(app, QLocale::system());
    // The client's own log would drown the figures; warnings still show.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type >= QtWarningMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });

    const int seconds = qMax(1, app.arguments().value(1, QStringLiteral("10")).toInt());
    Cost visible;
    Cost hidden;
    if (!measure(seconds, visible, hidden))
        return 1;
    std::printf("connected cpu_percent=%.1f hidden_cpu_percent=%.1f\n", visible.cpuPercent,
                hidden.cpuPercent);
    std::printf("connected frames_per_second=%.1f hidden_frames_per_second=%.1f\n", visible.framesPerSecond,
                hidden.framesPerSecond);
    return 0;
}
