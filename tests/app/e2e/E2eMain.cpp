#include "DevControl.h"
#include "DevService.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "api/network/HttpClient.h"
#include "api/services/HeartbeatService.h"
#include "api/services/PaymentService.h"
#include "app/QmlApiAdapter.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Api::Network::HttpClient;
using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::PaymentService;
using Tavorin::Api::Services::VpnConnectionService;

// The screens against the real facade and the real development service: one service for the whole
// run, a fresh `API` for every tst_*.qml file, and the product's slow timers shortened.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        StandinState::reset();
        LocalPorts::useFree();
        service = new DevService(this);
        if (!service->start())
            qFatal("the development service did not start");
        HttpClient::instance()->setBaseUrl(service->baseUrl());
        PaymentService::instance()->setPollIntervalMs(50);
        HeartbeatService::instance()->setSecondLengthMs(10);
        VpnConnectionService::instance()->proxyCore()->setTrafficInterval(100);
        control = new DevControl(service, this);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        auto *api = new QmlApiAdapter(engine);
        api->setForcedLogoutDelayMs(50);
        engine->rootContext()->setContextProperty(QStringLiteral("API"), api);
        engine->rootContext()->setContextProperty(QStringLiteral("Dev"), control);
    }

private:
    DevService *service = nullptr;
    DevControl *control = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(mirevo_e2etest, Setup)

#include "E2eMain.moc"
