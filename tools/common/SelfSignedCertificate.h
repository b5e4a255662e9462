#pragma once

#include <QString>
#include <QStringList>

// A fresh self-signed certificate and key (PEM, P-256) for a TLS inbound on 127.0.0.1, made by openssl.
class SelfSignedCertificate
{
public:
    // Names `dnsNames` (the first also as the common name) and 127.0.0.1. Answers an error text, empty
    // on success.
    static QString make(const QString &certificateFile, const QString &keyFile, const QStringList &dnsNames,
                        int days);
};
