#pragma once

#include <QMap>
#include <QObject>
#include <QProcess>
#include <QString>

// Runs the demo's vmess endpoint (mirevo-demo-endpoint) as scripts/run does, with its input held open
// for as long as the test wants it; ends it on destruction.
class DemoEndpointProcess : public QObject
{
    Q_OBJECT

public:
    explicit DemoEndpointProcess(QObject *parent = nullptr);
    ~DemoEndpointProcess() override;

    // Starts it with its files in `folder` and waits for its ready line.
    bool start(const QString &folder);
    // The inbounds' ports by transport ("tcp", "ws", "tcp+tls", "ws+tls"), from the ready line.
    QMap<QString, quint16> ports() const { return inbounds; }
    // What the development service reads with --vmess-endpoint.
    QString linesFile() const;
    // Everything it printed so far, v2ray's access log included.
    QString output();
    QProcess &process() { return endpoint; }

private:
    QProcess endpoint;
    QString directory;
    QByteArray printed;
    QMap<QString, quint16> inbounds;
};
