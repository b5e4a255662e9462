#include "VpnTestSupport.h"
#include "api/models/User.h"
#include "api/security/TokenManager.h"
#include "api/services/HeartbeatService.h"
#include "vpn/V2RayCore.h"
#include "vpn/VpnConnectionService.h"

#include <QSignalSpy>
#include <QTest>

using Tavorin::Api::Models::User;
using Tavorin::Api::Security::TokenManager;
using Tavorin::Api::Services::ConnectionFailureReason;
using Tavorin::Api::Services::HeartbeatService;
using Tavorin::Api::Services::VpnConnectionService;
using Tavorin::Api::Services::VpnConnectionState;
namespace Services = Tavorin::Api::Services;

namespace {

User account(const QString &status, bool vip, int vipExpiresInSeconds, bool trialUsed, double hours)
{
    User user;
    user.id = 3;
    user.email = QStringLiteral("user@mirevo.dev");
    user.status = status;
    user.isVip = vip;
    if (vipExpiresInSeconds != 0)
        user.vipExpiresAt = QDateTime::currentDateTime().addSecs(vipExpiresInSeconds);
    user.trialUsed = trialUsed;
    user.trialHoursRemaining = hours;
    return user;
}

const QString networkText = QStringLiteral("网络连接失败，请检查网络设置");

} // namespace

class TestVpnService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void permission_data();
    void permission();
    void texts_data();
    void texts();
    void speed_data();
    void speed();
    void duration_data();
    void duration();
    void refusedConnectStartsNothing();
    void unusableLinkFailsOnceBeforeConnectReturns_data();
    void unusableLinkFailsOnceBeforeConnectReturns();
    void forcedOffWhileIdleIsQuiet();
    void trafficFigures();
};

void TestVpnService::init()
{
    VpnConnectionService::instance()->onUserLoggedOut();
    TokenManager::instance()->saveVpnEncryptConfig(QString(), false);
}

void TestVpnService::permission_data()
{
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("vip");
    QTest::addColumn<int>("vipExpiresIn"); // seconds from now; 0: no expiry
    QTest::addColumn<bool>("trialUsed");
    QTest::addColumn<double>("hours");
    QTest::addColumn<int>("serverId");
    QTest::addColumn<bool>("requiresVip");
    QTest::addColumn<int>("reason");

    const int past = -3600;
    const int future = 86400;
    QTest::newRow("signed out, banned") << false << "banned" << false << 0 << false << 5.0 << 1 << false << 1;
    QTest::newRow("suspended") << true << "suspended" << true << future << false << 0.0 << 1 << false << 7;
    QTest::newRow("banned") << true << "banned" << false << 0 << false << 0.0 << 1 << false << 8;
    QTest::newRow("status letter case")
        << true << "Suspended" << false << 0 << false << 1.0 << 1 << false << 0;
    QTest::newRow("status trailing blank")
        << true << "banned " << false << 0 << false << 1.0 << 1 << false << 0;
    QTest::newRow("empty status") << true << "" << false << 0 << false << 1.0 << 1 << false << 0;
    QTest::newRow("server 0") << true << "active" << false << 0 << false << 1.0 << 0 << false << 2;
    QTest::newRow("server -3") << true << "active" << false << 0 << false << 1.0 << -3 << false << 2;
    QTest::newRow("banned, server 0") << true << "banned" << false << 0 << false << 1.0 << 0 << false << 8;
    QTest::newRow("vip line, not vip") << true << "active" << false << 0 << false << 1.0 << 1 << true << 3;
    QTest::newRow("vip line, no expiry") << true << "active" << true << 0 << false << 0.0 << 1 << true << 0;
    QTest::newRow("vip line, expired, trial gone")
        << true << "active" << true << past << true << 0.0 << 1 << true << 5;
    QTest::newRow("expired vip, trial gone")
        << true << "active" << true << past << true << 0.0 << 1 << false << 6;
    QTest::newRow("not vip, expired, trial gone")
        << true << "active" << false << past << true << 0.0 << 1 << false << 4;
    QTest::newRow("trial never used, 0 hours")
        << true << "active" << false << 0 << false << 0.0 << 1 << false << 0;
    QTest::newRow("trial half an hour") << true << "active" << false << 0 << true << 0.5 << 1 << false << 0;
    QTest::newRow("trial -1 hours") << true << "active" << false << 0 << true << -1.0 << 1 << false << 4;
    QTest::newRow("vip valid") << true << "active" << true << future << true << 0.0 << 1 << true << 0;
}

void TestVpnService::permission()
{
    QFETCH(bool, loggedIn);
    QFETCH(QString, status);
    QFETCH(bool, vip);
    QFETCH(int, vipExpiresIn);
    QFETCH(bool, trialUsed);
    QFETCH(double, hours);
    QFETCH(int, serverId);
    QFETCH(bool, requiresVip);
    QFETCH(int, reason);

    VpnConnectionService *service = VpnConnectionService::instance();
    service->updateUserInfo(account(status, vip, vipExpiresIn, trialUsed, hours));
    if (!loggedIn)
        service->onUserLoggedOut();
    QCOMPARE(int(service->checkConnectionPermission(serverId, requiresVip)), reason);
}

void TestVpnService::texts_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0 << "";
    QTest::newRow("1") << 1 << "请先登录账号";
    QTest::newRow("4") << 4 << "您的免费体验时长已用完，请升级VIP继续使用";
    QTest::newRow("9") << 9 << "您的账号在其他设备登录，已被强制下线";
    QTest::newRow("10") << 10 << "网络连接失败，请检查网络设置";
    QTest::newRow("11") << 11 << "服务器连接失败，请稍后重试";
    QTest::newRow("12") << 12 << "未知错误";
    QTest::newRow("-1") << -1 << "未知错误";
}

void TestVpnService::texts()
{
    QFETCH(int, reason);
    QFETCH(QString, text);
    QCOMPARE(VpnConnectionService::instance()->getFailureReasonText(ConnectionFailureReason(reason)), text);
    QCOMPARE(VpnConnectionService::stateText(1), QString("连接中"));
    QCOMPARE(VpnConnectionService::stateText(4), QString("未知"));
    QCOMPARE(VpnConnectionService::instance()->connectionStateText(), QString("未连接"));
}

void TestVpnService::speed_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");

    QTest::newRow("1023 B") << qint64(1023) << qint64(1) << "1023 B/s";
    QTest::newRow("1024 B") << qint64(1024) << qint64(1) << "1.00 KB/s";
    QTest::newRow("1536 B") << qint64(1536) << qint64(1) << "1.50 KB/s";
    QTest::newRow("3 MB over 2 s") << qint64(3145728) << qint64(2) << "1.50 MB/s";
    QTest::newRow("GB") << qint64(3221225472) << qint64(1) << "3.00 GB/s";
    QTest::newRow("0 seconds count as 1") << qint64(2048) << qint64(0) << "2.00 KB/s";
    QTest::newRow("counter went down") << qint64(-500) << qint64(1) << "-500 B/s";
}

void TestVpnService::speed()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(VpnConnectionService::formatSpeed(bytes, seconds), text);
}

void TestVpnService::duration_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0 << "00:00:00";
    QTest::newRow("3725") << 3725 << "01:02:05";
    QTest::newRow("100 hours") << 360000 << "100:00:00";
}

void TestVpnService::duration()
{
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(VpnConnectionService::formatDuration(seconds), text);
}

void TestVpnService::refusedConnectStartsNothing()
{
    VpnConnectionService *service = VpnConnectionService::instance();
    QSignalSpy stateChanges(service, &VpnConnectionService::connectionStateChanged);
    QSignalSpy failures(service, &VpnConnectionService::connectionFailed);
    QSignalSpy denials(service, &VpnConnectionService::permissionDenied);

    QVERIFY(!service->connect(4, "vmess://e30="));
    QCOMPARE(stateChanges.size(), 0);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.at(0).at(0).toInt(), int(Services::NotLoggedIn));
    QCOMPARE(failures.at(0).at(1).toString(), QString("请先登录账号"));
    QCOMPARE(denials.size(), 1);
    QCOMPARE(denials.at(0).at(1).toString(), QString("请先登录账号"));
    QVERIFY(service->proxyCore()->getResourcePath().endsWith("/resources/vpn"));
}

void TestVpnService::unusableLinkFailsOnceBeforeConnectReturns_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("passphrase");
    QTest::addColumn<QString>("logged");

    QTest::newRow("base64 of no json")
        << "vmess://" + QString::fromLatin1(QByteArray("not json").toBase64()) << ""
        << "无效的JSON格式";
    QTest::newRow("encrypted, no passphrase, not a link") << "U29tZXRoaW5nIGVsc2U="
                                                          << ""
                                                          << "无效的VMess链接格式";
    // A capitalised prefix counts as encrypted; with a passphrase stored its decryption fails.
    QTest::newRow("capital prefix, passphrase stored") << "VMESS://e30="
                                                       << "节点链接密钥"
                                                       << "VMess链接解密失败";
}

void TestVpnService::unusableLinkFailsOnceBeforeConnectReturns()
{
    QFETCH(QString, link);
    QFETCH(QString, passphrase);
    QFETCH(QString, logged);

    VpnConnectionService *service = VpnConnectionService::instance();
    service->updateUserInfo(account("active", false, 0, false, 2.0));
    TokenManager::instance()->saveVpnEncryptConfig(passphrase, true);
    QSignalSpy stateChanges(service, &VpnConnectionService::connectionStateChanged);
    QSignalSpy failures(service, &VpnConnectionService::connectionFailed);
    QSignalSpy disconnects(service, &VpnConnectionService::disconnected);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(logged)));
    QVERIFY(service->connect(5, link));
    QCOMPARE(VpnTest::firstInts(stateChanges), (QList<int>{Services::Connecting, Services::Disconnected}));
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.at(0).at(0).toInt(), int(Services::NetworkError));
    QCOMPARE(failures.at(0).at(1).toString(), networkText);
    QCOMPARE(disconnects.size(), 0);
    QCOMPARE(service->currentServerId(), 0);
    QVERIFY(!service->proxyCore()->isRunning());
}

void TestVpnService::forcedOffWhileIdleIsQuiet()
{
    VpnConnectionService *service = VpnConnectionService::instance();
    QSignalSpy forced(service, &VpnConnectionService::forceDisconnected);
    QSignalSpy failures(service, &VpnConnectionService::connectionFailed);
    emit HeartbeatService::instance()->forceDisconnectRequired("您的账号在其他设备登录，已被强制下线");
    QCOMPARE(forced.size(), 0);
    QCOMPARE(failures.size(), 0);
}

void TestVpnService::trafficFigures()
{
    VpnConnectionService *service = VpnConnectionService::instance();
    QSignalSpy changes(service, &VpnConnectionService::trafficStatsChanged);
    service->updateTrafficStats(4096, 10240);
    service->updateTrafficStats(6144, 20480);
    QCOMPARE(changes.size(), 2);
    QCOMPARE(service->getUploadBytes(), qlonglong(6144));
    QCOMPARE(service->getDownloadBytes(), qlonglong(20480));
    // Not connected: no speed to show.
    QCOMPARE(service->uploadSpeed(), QString("0 B/s"));
}

QTEST_GUILESS_MAIN(TestVpnService)
#include "tst_vpnservice.moc"
