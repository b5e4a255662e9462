// How long connecting (connect to connectionSuccess) and disconnecting (disconnect to disconnected)
// take with the stand-in core and commands, over a number of rounds. Expects the command stand-ins
// first on PATH and a HOME of its own (scripts/bench sees to both).

#include "Median.h"
#include "api/models/User.h"
#include "vpn/VpnConnectionService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using Tavorin::Api::Services::VpnConnectionService;

namespace {

// The engine's warnings of the round in progress, shown only when the round fails.
QStringList warnings;

QString localLink()
{
    const QJsonObject object{{"v", "2"},
                             {"ps", "bench"},
                             {"add", "127.0.0.1"},
                             {"port", "1"},
                             {"id", "5b4a9f2e-1c3d-4e5f-8a9b-0c1d2e3f4a5b"},
                             {"aid", "0"},
                             {"net", "tcp"},
                             {"tls", "none"}};
    return QStringLiteral("vmess://") +
           QString::fromLatin1(QJsonDocument(object).toJson(QJsonDocument::Compact).toBase64());
}

void report(const char *name, const QList<double> &milliseconds)
{
    std::printf("%s median_ms=%lld worst_ms=%lld\n", name, qRound64(median(milliseconds)),
                qRound64(*std::max_element(milliseconds.cbegin(), milliseconds.cend())));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int rounds = qMax(1, application.arguments().value(1, QStringLiteral("20")).toInt());
    // The engine's own log would drown the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type >= QtWarningMsg)
            warnings << message;
    });

    VpnConnectionService *service = VpnConnectionService::instance();
    Tavorin::Api::Models::User user;
    user.id = 1;
    user.email = QStringLiteral("bench@mirevo.dev");
    user.status = QStringLiteral("active");
    user.isVip = true;
    user.vipExpiresAt = QDateTime::currentDateTime().addDays(30);
    service->updateUserInfo(user);

    const QString link = localLink();
    QList<double> connects;
    QList<double> disconnects;
    int failures = 0;
    QObject::connect(service, &VpnConnectionService::connectionFailed, [&failures]() { ++failures; });

    for (int round = 0; round < rounds; ++round) {
        warnings.clear();
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        const QMetaObject::Connection success =
            QObject::connect(service, &VpnConnectionService::connectionSuccess, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        if (service->connect(round + 1, link) && !service->isConnected() && failures == 0) {
            limit.start(15000);
            loop.exec();
        }
        const double connectMs = clock.nsecsElapsed() / 1e6;
        QObject::disconnect(success);
        if (!service->isConnected()) {
            std::fprintf(stderr, "round %d: no connection (failures so far: %d)\n%s\n", round + 1, failures,
                         qPrintable(warnings.join(QLatin1Char('\n'))));
            return 1;
        }
        connects << connectMs;

        bool ended = false;
        const QMetaObject::Connection end =
            QObject::connect(service, &VpnConnectionService::disconnected, [&ended]() { ended = true; });
        clock.restart();
        service->disconnect();
        const double disconnectMs = clock.nsecsElapsed() / 1e6;
        QObject::disconnect(end);
        if (!ended) {
            std::fprintf(stderr, "round %d: no disconnected signal\n", round + 1);
            return 1;
        }
        disconnects << disconnectMs;
    }

    report("connect", connects);
    report("disconnect", disconnects);
    return 0;
}
