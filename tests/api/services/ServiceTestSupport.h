#pragma once

#include "DevService.h"

#include "api/network/HttpClient.h"
#include "api/security/TokenManager.h"
#include "api/services/AuthService.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// Small helpers shared by the service tests; they drive the client only through its services.
namespace ServiceTest {

inline QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The body of a request the development service logged, parsed.
inline QJsonObject body(const QJsonObject &request)
{
    return QJsonDocument::fromJson(request.value(QStringLiteral("body")).toString().toUtf8()).object();
}

inline QString header(const QJsonObject &request, const QString &name)
{
    return request.value(QStringLiteral("headers")).toObject().value(name).toString();
}

inline QJsonObject query(const QJsonObject &request)
{
    return request.value(QStringLiteral("query")).toObject();
}

// Signs the demo account in through AuthService and waits for the answer.
inline bool signIn()
{
    bool done = false;
    bool ok = false;
    Tavorin::Api::Services::AuthService::instance()->login(
        DevService::demoEmail(), DevService::demoPassword(),
        [&](bool success, const QString &, const Tavorin::Api::Models::User &) {
            ok = success;
            done = true;
        });
    return QTest::qWaitFor([&]() { return done; }, 5000) && ok;
}

// Forgets the signed-in state locally, without asking the service.
inline void signOutLocally()
{
    if (Tavorin::Api::Security::TokenManager::instance()->isLoggedIn() ||
        !Tavorin::Api::Security::TokenManager::instance()->getToken().isEmpty())
        Tavorin::Api::Security::TokenManager::instance()->clearLoginInfo();
    Tavorin::Api::Network::HttpClient::instance()->clearAuthToken();
}

// Waits until `done` is set by a completion function.
inline bool waitFor(const bool &done, int timeoutMs = 5000)
{
    return QTest::qWaitFor([&]() { return done; }, timeoutMs);
}

} // namespace ServiceTest
