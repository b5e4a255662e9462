#include "api/security/TokenManager.h"
#include "api/storage/LocalStorage.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using Tavorin::Api::Models::User;
using Tavorin::Api::Security::TokenManager;
using Tavorin::Api::Storage::LocalStorage;

namespace {
const char *childFlag = "--report";

// Run as a second process: what a restarted client restores from the settings file.
int report()
{
    TokenManager *manager = TokenManager::instance();
    QTextStream out(stdout);
    out << (manager->isLoggedIn() ? "logged-in" : "logged-out") << ' ' << manager->getCurrentUser().email
        << ' ' << manager->getDeviceId() << Qt::endl;
    return 0;
}

QString settingsPath()
{
    return LocalStorage::instance()->filePath();
}

QStringList runChild()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {childFlag});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        qWarning() << "the child that reads the token ended" << child.state() << child.exitCode();
        return {};
    }
    return QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
}

User completeUser()
{
    User user;
    user.id = 9;
    user.email = QStringLiteral("vip@mirevo.dev");
    user.name = QStringLiteral("小红");
    return user;
}
} // namespace

class TestTokenManager : public QObject
{
    Q_OBJECT

private slots:
    void signalOrder();
    void clearKeepsDeviceIdAndKeys();
    void deviceIdGeneratedOnceAndKept();
    void restores_data();
    void restores();
    void deviceName_data();
    void deviceName();
    void vpnKeyReadEvenWhenDisabled();
};

void TestTokenManager::signalOrder()
{
    TokenManager *manager = TokenManager::instance();
    QStringList order;
    // The listeners go with this function, also when a check ends it early: a later function's
    // signals must not reach `order` once it is gone.
    QObject listeners;
    connect(manager, &TokenManager::tokenChanged, &listeners, [&order]() { order << "token"; });
    connect(manager, &TokenManager::userChanged, &listeners, [&order]() { order << "user"; });
    connect(manager, &TokenManager::loginStateChanged, &listeners,
            [&order](bool loggedIn) { order << (loggedIn ? "in" : "out"); });

    manager->saveLoginInfo("tok-1", completeUser());
    QCOMPARE(order, (QStringList{"token", "user", "in"}));
    QVERIFY(manager->isLoggedIn());
    QCOMPARE(manager->getToken(), QString("tok-1"));

    order.clear();
    manager->clearLoginInfo();
    QCOMPARE(order, (QStringList{"token", "user", "out"}));
    QVERIFY(!manager->isLoggedIn());
    QCOMPARE(manager->getCurrentUser().id, 0);

    order.clear();
    User incomplete = completeUser();
    incomplete.email.clear();
    manager->saveLoginInfo("tok-2", incomplete);
    QVERIFY(!manager->isLoggedIn()); // a user without e-mail does not count as signed in
    manager->clearLoginInfo();
}

void TestTokenManager::clearKeepsDeviceIdAndKeys()
{
    TokenManager *manager = TokenManager::instance();
    const QString id = manager->getDeviceId();
    manager->saveVpnEncryptConfig("pass", true);
    manager->saveLoginInfo("tok", completeUser());
    manager->clearLoginInfo();

    QSettings file(settingsPath(), QSettings::IniFormat);
    QVERIFY(!file.contains("auth_token"));
    QVERIFY(!file.contains("user_info"));
    QCOMPARE(file.value("device_id").toString(), id);
    QCOMPARE(file.value("vpn_encrypt_key").toString(), QString("pass"));
}

void TestTokenManager::deviceIdGeneratedOnceAndKept()
{
    const QString id = TokenManager::instance()->getDeviceId();
    QVERIFY(QRegularExpression("^windows_[0-9a-f]{32}$").match(id).hasMatch());
    QCOMPARE(TokenManager::instance()->getDeviceId(), id);
    const QStringList restarted = runChild();
    QCOMPARE(restarted.value(2), id);
}

void TestTokenManager::restores_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("userInfo");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("email");

    QTest::newRow("token and complete user") << "t"
                                             << R"({"id":3,"email":"a@b.c"})"
                                             << "logged-in"
                                             << "a@b.c";
    QTest::newRow("user id 0") << "t"
                               << R"({"id":0,"email":"a@b.c"})"
                               << "logged-out"
                               << "a@b.c";
    QTest::newRow("no token") << ""
                              << R"({"id":3,"email":"a@b.c"})"
                              << "logged-out"
                              << "a@b.c";
    QTest::newRow("corrupt user info") << "t"
                                       << "{not json"
                                       << "logged-out"
                                       << "";
    QTest::newRow("user info not an object") << "t"
                                             << "[1,2]"
                                             << "logged-out"
                                             << "";
    // A file edited by hand: a token that would break the header it goes into is no sign-in at all.
    QTest::newRow("token with CR LF") << "7|abc\r\nX-Injected: 1"
                                      << R"({"id":3,"email":"a@b.c"})"
                                      << "logged-out"
                                      << "";
    QTest::newRow("token with | - =") << "7|aB3-xY_9="
                                      << R"({"id":3,"email":"a@b.c"})"
                                      << "logged-in"
                                      << "a@b.c";
}

void TestTokenManager::restores()
{
    QFETCH(QString, token);
    QFETCH(QString, userInfo);
    {
        QSettings file(settingsPath(), QSettings::IniFormat);
        file.setValue("auth_token", token);
        file.setValue("user_info", userInfo);
    }
    const QStringList restarted = runChild();
    QTEST(restarted.value(0), "state");
    QTEST(restarted.size() == 3 ? restarted.value(1) : QString(), "email");
}

void TestTokenManager::deviceName_data()
{
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<QString>("name");
    QTest::newRow("empty host name") << ""
                                     << "Windows PC";
    QTest::newRow("host name") << "DESKTOP-7"
                               << "DESKTOP-7";
}

void TestTokenManager::deviceName()
{
    QFETCH(QString, hostName);
    QTEST(TokenManager::deviceNameFor(hostName), "name");
}

void TestTokenManager::vpnKeyReadEvenWhenDisabled()
{
    TokenManager::instance()->saveVpnEncryptConfig("链接密钥", false);
    QCOMPARE(TokenManager::instance()->getVpnEncryptKey(), QString("链接密钥"));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], childFlag) == 0)
        return report();
    TestTokenManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tokenmanager.moc"
