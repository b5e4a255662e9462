#include "ClientConfig.h"
#include "CoreProcess.h"
#include "LocalPorts.h"
#include "StandinState.h"
#include "StandinStore.h"
#include "TestHttpServer.h"
#include "VmessTestServer.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString Secret = QStringLiteral("c0ntr0ller-s3cret");

struct Answer
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QString detail;
};

// An HTTP request as a proxied application makes it: through QNetworkAccessManager with the proxy
// type given, or ("connect") a raw HTTP exchange inside an HTTP CONNECT tunnel.
// A request that is meant to fail gets a short limit: the tunnels that work answer in tens of ms. The
// limit of the others only catches one that never answers.
constexpr int FailingLimitMs = 1500;

Answer post(const QString &proxyKind, const QUrl &url, const QByteArray &body, int limitMs = 30000)
{
    Answer answer;
    if (proxyKind == QLatin1String("connect")) {
        QTcpSocket socket;
        socket.setProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), LocalPorts::mixed()));
        socket.connectToHost(url.host(), quint16(url.port()));
        // The endpoint answers from this thread's event loop: wait by spinning it, never by blocking.
        if (!QTest::qWaitFor([&socket]() { return socket.state() == QAbstractSocket::ConnectedState; },
                             limitMs)) {
            answer.error = QNetworkReply::ProxyConnectionRefusedError;
            answer.detail = socket.errorString();
            return answer;
        }
        socket.write("POST " + url.path().toUtf8() + " HTTP/1.1\r\nHost: " + url.authority().toUtf8() +
                     "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        // Complete once the head and as many bytes as its Content-Length have come.
        QByteArray received;
        const auto complete = [&received]() {
            const qsizetype end = received.indexOf("\r\n\r\n");
            if (end < 0)
                return false;
            const QByteArray head = received.left(end).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qsizetype length =
                at < 0 ? 0 : head.mid(at + 15, head.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
            return received.size() - end - 4 >= length;
        };
        (void)QTest::qWaitFor(
            [&]() {
                received += socket.readAll();
                return complete() || socket.state() == QAbstractSocket::UnconnectedState;
            },
            limitMs);
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            answer.error = QNetworkReply::RemoteHostClosedError;
            answer.detail = socket.errorString() + QStringLiteral(": ") + QString::fromUtf8(received);
            return answer;
        }
        answer.status = received.mid(9, 3).toInt();
        answer.body = received.mid(headEnd + 4);
        return answer;
    }
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy(proxyKind == QLatin1String("socks5") ? QNetworkProxy::Socks5Proxy
                                                                        : QNetworkProxy::HttpProxy,
                                   QStringLiteral("127.0.0.1"), LocalPorts::mixed()));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/octet-stream"));
    request.setTransferTimeout(limitMs);
    QNetworkReply *reply = manager.post(request, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(limitMs + 2000);
    answer.error = reply->error();
    answer.detail = reply->errorString();
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    reply->deleteLater();
    return answer;
}

QJsonObject traffic(quint16 controllerPort)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/connections").arg(controllerPort)));
    request.setRawHeader("Authorization", "Bearer " + Secret.toUtf8());
    QNetworkReply *reply = manager.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(30000);
    const QJsonObject body = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return body;
}

QByteArray payload(int size, char seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(seed + i % 61);
    return data;
}

} // namespace

class VmessTunnelTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { StandinState::reset(); }
    void cleanup() { QVERIFY(StandinState::endRunningPrograms()); }

    void requestsTravelOverVmess_data()
    {
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("sni");
        QTest::addColumn<int>("alterId");
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("proxy");
        QTest::newRow("tcp, http proxy") << "tcp"
                                         << ""
                                         << "" << false << "" << 0 << "auto"
                                         << "http";
        QTest::newRow("tcp, socks5") << "tcp"
                                     << ""
                                     << "" << false << "" << 0 << "auto"
                                     << "socks5";
        QTest::newRow("tcp, connect") << "tcp"
                                      << ""
                                      << "" << false << "" << 0 << "auto"
                                      << "connect";
        QTest::newRow("tcp, alter id 4, aes") << "tcp"
                                              << ""
                                              << "" << false << "" << 4 << "aes-128-gcm"
                                              << "socks5";
        QTest::newRow("tcp, chacha20") << "tcp"
                                       << ""
                                       << "" << false << "" << 0 << "chacha20-poly1305"
                                       << "http";
        QTest::newRow("ws with path and host") << "ws"
                                               << "/mirevo"
                                               << "cdn.mirevo.test" << false << "" << 0 << "auto"
                                               << "http";
        QTest::newRow("ws without path") << "ws"
                                         << ""
                                         << "" << false << "" << 0 << "auto"
                                         << "socks5";
        QTest::newRow("tls, server name from address") << "tcp"
                                                       << ""
                                                       << "" << true << "" << 0 << "auto"
                                                       << "socks5";
        QTest::newRow("ws and tls with sni")
            << "ws"
            << "/v"
            << "vmess.mirevo.test" << true << "vmess.mirevo.test" << 0 << "auto"
            << "http";
    }

    void requestsTravelOverVmess()
    {
        QFETCH(QString, network);
        QFETCH(QString, path);
        QFETCH(QString, host);
        QFETCH(bool, tls);
        QFETCH(QString, sni);
        QFETCH(int, alterId);
        QFETCH(QString, security);
        QFETCH(QString, proxy);

        TestHttpServer endpoint;
        QVERIFY(endpoint.listen());
        const QByteArray reply = payload(20000, 'a');
        endpoint.setDefaultReply(TestHttpServer::Reply{200, reply, {}, 0});

        VmessTestServer server;
        VmessTestServer::Options options;
        options.network = network;
        options.path = path;
        options.host = host;
        options.tls = tls;
        options.sni = sni;
        options.alterId = alterId;
        options.security = security;
        QVERIFY2(server.start(options), qPrintable(server.errorString()));

        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        QVERIFY2(core.start(ClientConfig::forLink(server.linkObject(), controllerPort, Secret)),
                 qPrintable(core.errors()));

        const QByteArray sent = payload(12000, 'A');
        const QUrl url(
            QStringLiteral("http://%1:%2/echo").arg(VmessTestServer::echoHost()).arg(endpoint.port()));
        const Answer answer = post(proxy, url, sent);
        QVERIFY2(answer.error == QNetworkReply::NoError,
                 qPrintable(answer.detail + '\n' + core.output() + core.errors()));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, reply);
        QCOMPARE(endpoint.requests().size(), 1);
        QCOMPARE(endpoint.lastRequest().body, sent);
        QCOMPARE(endpoint.lastRequest().headers.value("host"), url.authority().toUtf8());

        // The controller counts at least what went each way (the proxy's own bytes come on top).
        QTRY_VERIFY(traffic(controllerPort).value(QStringLiteral("uploadTotal")).toInteger() >= sent.size());
        const QJsonObject totals = traffic(controllerPort);
        QVERIFY(totals.value(QStringLiteral("downloadTotal")).toInteger() >= reply.size());
        QVERIFY(totals.value(QStringLiteral("uploadTotal")).toInteger() < sent.size() + 4096);
    }

    void totalsGrowWithEachRequest()
    {
        TestHttpServer endpoint;
        QVERIFY(endpoint.listen());
        endpoint.setDefaultReply(TestHttpServer::Reply{200, payload(5000, 'x'), {}, 0});
        VmessTestServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        QVERIFY2(core.start(ClientConfig::forLink(server.linkObject(), controllerPort, Secret)),
                 qPrintable(core.errors()));
        const QUrl url(QStringLiteral("http://%1:%2/").arg(VmessTestServer::echoHost()).arg(endpoint.port()));

        qint64 upload = 0;
        qint64 download = 0;
        for (const QString &kind : {QStringLiteral("http"), QStringLiteral("socks5")}) {
            QCOMPARE(post(kind, url, payload(3000, 'k')).status, 200);
            QTRY_VERIFY(traffic(controllerPort).value(QStringLiteral("downloadTotal")).toInteger() >=
                        download + 5000);
            const QJsonObject totals = traffic(controllerPort);
            QVERIFY(totals.value(QStringLiteral("uploadTotal")).toInteger() >= upload + 3000);
            upload = totals.value(QStringLiteral("uploadTotal")).toInteger();
            download = totals.value(QStringLiteral("downloadTotal")).toInteger();
        }
    }

    // Proof that the traffic really depends on the vmess settings: a wrong one gets nothing through.
    void wrongSettingsGetNothingThrough_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("tls");
        QTest::newRow("another user id") << "id"
                                         << "0f3b5a9c-1111-4222-8333-944445555666" << false;
        QTest::newRow("another ws path") << "path"
                                         << "/elsewhere" << false;
        QTest::newRow("certificate not trusted") << ""
                                                 << "" << true;
    }

    void wrongSettingsGetNothingThrough()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, tls);
        TestHttpServer endpoint;
        QVERIFY(endpoint.listen());
        VmessTestServer server;
        VmessTestServer::Options options;
        options.tls = tls;
        if (field == QLatin1String("path")) {
            options.network = QStringLiteral("ws");
            options.path = QStringLiteral("/right");
        }
        QVERIFY2(server.start(options), qPrintable(server.errorString()));
        if (tls)
            QVERIFY(QFile::remove(Standin::StandinStore::trustedCertificateFile()));
        QJsonObject link = server.linkObject();
        if (!field.isEmpty())
            link.insert(field, value);
        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        QVERIFY2(core.start(ClientConfig::forLink(link, controllerPort, Secret)), qPrintable(core.errors()));

        const Answer answer =
            post(QStringLiteral("http"),
                 QUrl(QStringLiteral("http://%1:%2/").arg(VmessTestServer::echoHost()).arg(endpoint.port())),
                 "hello", FailingLimitMs);
        QVERIFY(answer.error != QNetworkReply::NoError || answer.status >= 500 || answer.status == 0);
        QCOMPARE(endpoint.requests().size(), 0);
    }

    void privateAddressesGoDirect()
    {
        TestHttpServer endpoint;
        QVERIFY(endpoint.listen());
        VmessTestServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const quint16 controllerPort = LocalPorts::spare();
        CoreProcess core;
        QVERIFY2(core.start(ClientConfig::forLink(server.linkObject(), controllerPort, Secret)),
                 qPrintable(core.errors()));
        server.stop();

        // With the vmess server gone, 127.0.0.1 is still reached: the private-address rule sends it direct...
        const Answer direct =
            post(QStringLiteral("socks5"), QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(endpoint.port())),
                 "direct");
        QCOMPARE(direct.status, 200);
        QCOMPARE(endpoint.requests().size(), 1);
        // ...while the name that only the server resolves is not.
        const Answer tunnelled =
            post(QStringLiteral("socks5"),
                 QUrl(QStringLiteral("http://%1:%2/").arg(VmessTestServer::echoHost()).arg(endpoint.port())),
                 "tunnel", FailingLimitMs);
        QVERIFY(tunnelled.status != 200);
        QCOMPARE(endpoint.requests().size(), 1);
    }
};

QTEST_GUILESS_MAIN(VmessTunnelTest)
#include "tst_vmesstunnel.moc"
