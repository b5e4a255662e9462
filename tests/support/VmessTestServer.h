#pragma once

#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A real vmess server for end-to-end tests: Debian's v2ray with one vmess inbound on 127.0.0.1 and an
// ephemeral port, whose freedom outbound resolves echoHost() to 127.0.0.1. The client keeps 127.0.0.1
// off the tunnel, so traffic meant to travel over vmess targets http://echo.mirevo.test:PORT/ and this
// server delivers it to the local endpoint. Stops on destruction.
class VmessTestServer : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString uuid; // empty: a fresh random one
        int alterId = 0;
        QString security = QStringLiteral("auto"); // the link's "scy", chosen by the client side
        QString network = QStringLiteral("tcp");   // "tcp" or "ws"
        QString path;                              // ws path; empty means "/"
        QString host;                              // ws Host header, the link's "host"
        bool tls = false;
        QString sni; // the link's "sni"; the certificate names it, "vmess.mirevo.test" and 127.0.0.1
        QString remarks = QStringLiteral("本地测试节点");
    };

    explicit VmessTestServer(QObject *parent = nullptr);
    ~VmessTestServer() override;

    // Starts v2ray and waits until its inbound accepts connections. With TLS it makes a self-signed
    // certificate and has the core stand-in trust it (StandinState::trustCertificate).
    bool start(const Options &options);
    bool start() { return start(Options()); }
    void stop();
    bool isRunning() const { return process.state() == QProcess::Running; }
    QString errorString() const { return error; }

    quint16 port() const { return serverPort; }
    QString uuid() const { return settings.uuid; }
    QString certificatePath() const;
    // The link's JSON object: v, ps, add, port, id, aid, net, type, host, path, tls, sni (and scy when
    // the security is not "auto"); port and aid as strings, as the service sends them.
    QJsonObject linkObject() const;
    // "vmess://" + Base64 of linkObject().
    QString vmessLink() const;

    static QString echoHost() { return QStringLiteral("echo.mirevo.test"); }

private:
    bool makeCertificate();
    bool launch();

    Options settings;
    QProcess process;
    std::unique_ptr<QTemporaryDir> directory;
    quint16 serverPort = 0;
    QString error;
};
