#include "SelfSignedCertificate.h"

#include <QProcess>

QString SelfSignedCertificate::make(const QString &certificateFile, const QString &keyFile,
                                    const QStringList &dnsNames, int days)
{
    QStringList names;
    for (const QString &name : dnsNames)
        names.append(QStringLiteral("DNS:") + name);
    names.append(QStringLiteral("IP:127.0.0.1"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
         QStringLiteral("-days"), QString::number(days), QStringLiteral("-subj"),
         QStringLiteral("/CN=") + dnsNames.value(0, QStringLiteral("localhost")), QStringLiteral("-addext"),
         QStringLiteral("subjectAltName=") + names.join(QLatin1Char(',')), QStringLiteral("-keyout"), keyFile,
         QStringLiteral("-out"), certificateFile});
    if (!openssl.waitForFinished(10000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0)
        return QStringLiteral("openssl req failed: %1 %2")
            .arg(openssl.errorString(), QString::fromUtf8(openssl.readAll()));
    return {};
}
