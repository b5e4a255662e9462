#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The REST service's base URL that this program names (BuildConfig::apiBaseUrl), for BuildInfo: the
// screens show the host the client really talks to.
class ServiceAddress : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString apiBaseUrl READ apiBaseUrl CONSTANT)

public:
    using QObject::QObject;

    QString apiBaseUrl() const;
};
