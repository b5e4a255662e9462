#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "api/network/HttpClient.h"
#include "api/services/HeartbeatService.h"
#include "app/QmlApiAdapter.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QJsonArray>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlError>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::VpnConnectionService;

namespace {
QQuickItem *findItem(QQuickItem *item, const QString &name)
{
    if (!item)
        return nullptr;
    if (item->objectName() == name)
        return item;
    const QList<QQuickItem *> children = item->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findItem(child, name))
            return found;
    }
    return nullptr;
}
} // namespace

// The window loaded as the executable loads it (same modules, same import paths, same address) with
// the real facade against the development service, driven like a person would: wait for the splash,
// press the connect button, close the window.
class TestWindowStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void connectFromTheButtonAndCloseCleanly();
    void hiddenWindowStopsThePulse();

private:
    // A returning user with trial time left, the window loaded as the executable loads it, the splash
    // gone and the service's first server chosen, then a click on the connect button up to the
    // button's connected state.
    void openConnectedWindow();

    DevService dev;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QmlApiAdapter *api = nullptr;
    // Everything the QML engine reports, from loading to closing: a script error in a binding or a
    // handler leaves the window standing but breaks what the user sees.
    QStringList qmlWarnings;
    QQuickWindow *window = nullptr;
    QQuickItem *button = nullptr;
};

void TestWindowStartup::initTestCase()
{
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    StandinState::reset();
    LocalPorts::useFree();
    QVERIFY(dev.start());
    HttpClient::instance()->setBaseUrl(dev.baseUrl());
    HeartbeatService::instance()->setSecondLengthMs(10);
    VpnConnectionService::instance()->proxyCore()->setTrafficInterval(100);
}

void TestWindowStartup::init()
{
    // Each case starts from the service's seeded accounts, whatever the one before used up.
    dev.reset();
    qmlWarnings.clear();
    engine = std::make_unique<QQmlApplicationEngine>();
    api = new QmlApiAdapter(engine.get());
    connect(engine.get(), &QQmlEngine::warnings, this, [this](const QList<QQmlError> &errors) {
        for (const QQmlError &error : errors)
            qmlWarnings << error.toString();
    });
}

void TestWindowStartup::cleanup()
{
    engine.reset();
    QVERIFY2(qmlWarnings.isEmpty(), qPrintable(qmlWarnings.join('\n')));
}

void TestWindowStartup::openConnectedWindow()
{
    QSignalSpy signedIn(api, &QmlApiAdapter::loginSuccess);
    api->login(DevService::demoEmail(), DevService::demoPassword());
    QVERIFY(signedIn.wait(5000));
    QSignalSpy trial(api, &QmlApiAdapter::trialActivated);
    api->activateFreeTrial();
    QVERIFY(trial.wait(5000));

    engine->rootContext()->setContextProperty(QStringLiteral("API"), api);
    engine->addImportPath(QCoreApplication::applicationDirPath() + QStringLiteral("/qml"));
    engine->addImportPath(QStringLiteral(":/qt/qml"));
    engine->addImportPath(QStringLiteral(":/"));
    engine->load(QUrl(QStringLiteral("qrc:/qt/qml/UntitledProject1Content/App.qml")));
    QCOMPARE(engine->rootObjects().size(), 1);
    window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    QVERIFY(window);
    QCOMPARE(window->size(), QSize(430, 880));
    window->setProperty("splashDuration", 50);

    QTRY_VERIFY2_WITH_TIMEOUT(findItem(window->contentItem(), "mainScreenWrapper"), "the main screen", 30000);
    QTRY_VERIFY2_WITH_TIMEOUT(!findItem(window->contentItem(), "splashScreen"), "the splash screen's end",
                              30000);
    button = findItem(window->contentItem(), "connectBtn");
    QVERIFY(button);
    // The main screen picks the first server the service offers.
    QTRY_VERIFY2_WITH_TIMEOUT(button->property("selectedServerId").toInt() > 0, "the server list", 30000);
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QSignalSpy connected(api, &QmlApiAdapter::vpnConnected);
    const QPoint center = button->mapToScene(QPointF(button->width() / 2, button->height() / 2)).toPoint();
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, center);
    QVERIFY2(connected.wait(30000), "the connection from the button");
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("1"));
    QTRY_VERIFY(button->property("connected").toBool());
}

void TestWindowStartup::connectFromTheButtonAndCloseCleanly()
{
    openConnectedWindow();
    if (QTest::currentTestFailed())
        return;

    QSignalSpy disconnected(api, &QmlApiAdapter::vpnDisconnected);
    window->close();
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 30000);
    QCOMPARE(StandinState::registryValue("ProxyEnable"), QString("0"));
    QCOMPARE(StandinState::environmentVariable("http_proxy"), QString());
    QCOMPARE(StandinState::winHttpProxy(), QString());
}

// A client left connected all day spends most of it hidden or minimised: nothing may be drawn for
// nobody, and the next show takes up where a visible window would be.
void TestWindowStartup::hiddenWindowStopsThePulse()
{
    openConnectedWindow();
    if (QTest::currentTestFailed())
        return;
    auto *pulse = button->findChild<QObject *>(QStringLiteral("glowPulse"));
    QVERIFY(pulse);
    QQuickItem *duration = findItem(button, "durationLabel");
    QVERIFY(duration);
    QTRY_VERIFY(pulse->property("running").toBool());

    window->hide();
    QTRY_VERIFY(!pulse->property("running").toBool());
    // The duration goes on counting, but the hidden label asks for no frame. The count is whole seconds
    // since the connection, so the first tick may still read what the label shows: wait for a new value.
    const QString shownBeforeHiding = duration->property("text").toString();
    QTRY_VERIFY2_WITH_TIMEOUT(button->property("durationText").toString() != shownBeforeHiding,
                              "the next tick of the duration", 30000);
    QCOMPARE(duration->property("text").toString(), shownBeforeHiding);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(pulse->property("running").toBool());
    QCOMPARE(duration->property("text").toString(), button->property("durationText").toString());
}

QTEST_MAIN(TestWindowStartup)
#include "tst_windowstartup.moc"
