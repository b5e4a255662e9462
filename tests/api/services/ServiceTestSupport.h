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

// The value of an outcome whose completion function passes none.
struct Nothing
{
};

// Takes down what a service's completion function is called with. completion() fits every shape the
// services use: (bool), (bool, message), (bool, value) and (bool, message, value). The completion refers
// to this object, so keep it in place until the answer has come.
template <typename Value = Nothing> struct Outcome
{
    bool done = false;
    bool ok = false;
    QString message;
    Value value{};

    Outcome() = default;
    Outcome(const Outcome &) = delete;
    Outcome &operator=(const Outcome &) = delete;

    auto completion()
    {
        return [this](bool success, const auto &...rest) {
            ok = success;
            record(rest...);
            done = true;
        };
    }

    // Waits until the completion function has run.
    bool wait(int timeoutMs = 5000) const { return waitFor(done, timeoutMs); }

private:
    void record() {}
    void record(const QString &text) { message = text; }
    void record(const Value &v) { value = v; }
    void record(const QString &text, const Value &v)
    {
        message = text;
        value = v;
    }
};

// Signs the demo account in through AuthService and waits for the answer.
inline bool signIn()
{
    Outcome<Tavorin::Api::Models::User> login;
    Tavorin::Api::Services::AuthService::instance()->login(DevService::demoEmail(),
                                                           DevService::demoPassword(), login.completion());
    return login.wait() && login.ok;
}

} // namespace ServiceTest
