#include "ScreenshotSession.h"

#include "FakeApi.h"
#include "FakeApiControl.h"

#include <QCoreApplication>
#include <QDebug>
#include <QImage>
#include <QMetaMethod>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

namespace Tavorin::Tools {

namespace {

QVariantMap server(int id, const QString &name, const QString &countryCode, const QString &flag,
                   bool requiresVip)
{
    return {{"id", id},
            {"name", name},
            {"countryCode", countryCode},
            {"flag", flag},
            {"requiresVip", requiresVip},
            {"canConnect", true},
            {"vmessLink", QStringLiteral("vmess://eyJ2IjoiMiIsInBzIjoiZGVtbyJ9")}};
}

// The item of that objectName anywhere below root in the visual tree.
QQuickItem *findItem(QQuickItem *root, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    const QList<QQuickItem *> children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findItem(child, name))
            return found;
    }
    return nullptr;
}

// Pushes one of the window's pages by the name of its Component property, as its route does.
void pushPage(QQuickWindow *window, const char *pageProperty, const QString &logLine)
{
    QMetaObject::invokeMethod(window, "openPage", Q_ARG(QVariant, window->property(pageProperty)),
                              Q_ARG(QVariant, QVariant(logLine)));
}

void popPage(QQuickWindow *window, const QString &logLine)
{
    QMetaObject::invokeMethod(window, "closePage", Q_ARG(QVariant, QVariant(logLine)));
}

void setText(QQuickWindow *window, const QString &fieldName, const QString &text)
{
    if (QQuickItem *field = findItem(window->contentItem(), fieldName))
        field->setProperty("text", text);
}

} // namespace

ScreenshotSession::ScreenshotSession(QQmlApplicationEngine *qmlEngine, Testing::FakeApi *fake,
                                     Testing::FakeApiControl *fakeControl, const QDir &dir, QObject *parent)
    : QObject(parent), engine(qmlEngine), api(fake), control(fakeControl), outputDir(dir)
{
    const QVariantList servers{
        server(3, QStringLiteral("香港 01"), QStringLiteral("HK"), QStringLiteral("🇭🇰"), false),
        server(7, QStringLiteral("东京 VIP"), QStringLiteral("JP"), QStringLiteral("🇯🇵"), true)};
    steps = {
        {400, [] {}, QStringLiteral("01-splash")},
        {1400, [this, servers] { emitSignal("serversLoaded(QVariantList)", {QVariant(servers)}); },
         QStringLiteral("02-main-signed-out")},
        {300,
         [this] {
             control->setState({{"isLoggedIn", true},
                                {"userEmail", "demo@mirevo.app"},
                                {"userName", "demo"},
                                {"isVip", false},
                                {"vipDays", 0},
                                {"freeMinutes", 120},
                                {"canConnect", false},
                                {"trialUsed", false}});
         },
         QStringLiteral("03-main-free-trial-offer")},
        {300,
         [this] {
             control->setState({{"freeMinutes", 95}, {"trialUsed", true}, {"canConnect", true}});
         },
         QStringLiteral("04-main-free-trial-minutes")},
        {300,
         [this] {
             control->setState({{"userEmail", "vip@mirevo.app"},
                                {"userName", "Alice"},
                                {"isVip", true},
                                {"vipDays", 30},
                                {"vipExpiresAt", "2027-01-09T08:00:00Z"},
                                {"freeMinutes", 0},
                                {"canConnect", true},
                                {"trialUsed", true}});
             emitSignal("vpnConnected()");
             emitSignal("vpnTrafficUpdate(qlonglong,qlonglong)", {qlonglong(0), qlonglong(0)});
         },
         QString()},
        {1000,
         [this] {
             emitSignal("vpnDurationChanged(int)", {3725});
             emitSignal("vpnTrafficUpdate(qlonglong,qlonglong)",
                        {qlonglong(356 * 1024), qlonglong(3 * 1024 * 1024)});
         },
         QString()},
        {400, [] {}, QStringLiteral("05-main-vip-connected")},
        {200,
         [this] {
             emitSignal("vpnForceDisconnected(QString)",
                        {QStringLiteral("您的账号在其他设备登录，已被强制下线")});
         },
         QString()},
        {400, [] {}, QStringLiteral("06-forced-disconnect-dialog")},
        {100,
         [this] {
             if (QObject *dialog = window()->findChild<QObject *>(QStringLiteral("messageDialog")))
                 QMetaObject::invokeMethod(dialog, "close");
             emitSignal("vpnDisconnected()");
             control->setState({{"isLoggedIn", false},
                                {"userEmail", ""},
                                {"userName", ""},
                                {"isVip", false},
                                {"vipDays", 0},
                                {"vipExpiresAt", ""}});
             pushPage(window(), "loginPage", QStringLiteral("点击用户信息，跳转到登录界面"));
         },
         QString()},
        {450, [] {}, QStringLiteral("07-login-empty")},
        {100,
         [this] {
             setText(window(), QStringLiteral("usernameField"), QStringLiteral("demo@mirevo.app"));
             setText(window(), QStringLiteral("passwordField"), QStringLiteral("wrong-password"));
             if (QQuickItem *form = findItem(window()->contentItem(), QStringLiteral("loginScreen")))
                 QMetaObject::invokeMethod(form, "loginClicked",
                                           Q_ARG(QString, QStringLiteral("demo@mirevo.app")),
                                           Q_ARG(QString, QStringLiteral("wrong-password")));
             emitSignal("loginError(QString)", {QStringLiteral("邮箱或密码错误")});
         },
         QStringLiteral("08-login-error")},
        {100, [this] { pushPage(window(), "registerPage", QStringLiteral("跳转到注册界面")); }, QString()},
        {450,
         [this] {
             setText(window(), QStringLiteral("emailField"), QStringLiteral("new@mirevo.app"));
             setText(window(), QStringLiteral("passwordField"), QStringLiteral("secret1"));
             setText(window(), QStringLiteral("confirmField"), QStringLiteral("secret2"));
             if (QQuickItem *form = findItem(window()->contentItem(), QStringLiteral("registerScreen")))
                 QMetaObject::invokeMethod(form, "submit");
         },
         QStringLiteral("09-register-refused")},
        {100, [this] { popPage(window(), QStringLiteral("返回登录界面")); }, QString()},
        {400, [this] { popPage(window(), QStringLiteral("返回主界面")); }, QString()},
        {400, [this] { pushPage(window(), "settingsPage", QStringLiteral("点击设置图标，跳转到设置界面")); },
         QString()},
        {450, [] {}, QStringLiteral("10-settings-signed-out")},
        {100,
         [this] {
             control->setState({{"isLoggedIn", true},
                                {"userEmail", "vip@mirevo.app"},
                                {"userName", "Alice"},
                                {"isVip", true},
                                {"vipDays", 30},
                                {"vipExpiresAt", "2027-01-09T08:00:00Z"}});
         },
         QStringLiteral("11-settings-vip")},
        {100, [this] { pushPage(window(), "aboutUsPage", QStringLiteral("跳转到关于我们")); }, QString()},
        {450, [] {}, QStringLiteral("12-about")},
        {100, [this] { popPage(window(), QStringLiteral("返回设置界面")); }, QString()},
        {400, [this] { popPage(window(), QStringLiteral("返回主界面")); }, QString()},
        {400, [] {}, QString()},
    };
}

void ScreenshotSession::start()
{
    if (!window()) {
        qCritical().noquote() << "[Screenshots] 窗口未创建";
        QCoreApplication::exit(1);
        return;
    }
    runStep(0);
}

QQuickWindow *ScreenshotSession::window() const
{
    const QList<QObject *> roots = engine->rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.constFirst());
}

void ScreenshotSession::emitSignal(const char *signal, const QVariantList &args)
{
    const QMetaObject *meta = api->metaObject();
    const int index = meta->indexOfSignal(QMetaObject::normalizedSignature(signal).constData());
    if (index < 0) {
        qCritical().noquote() << "[Screenshots] 没有信号:" << signal;
        ++failures;
        return;
    }
    const QMetaMethod method = meta->method(index);
    QGenericArgument generic[3];
    QList<QVariant> values = args;
    for (int i = 0; i < values.size() && i < 3; ++i) {
        values[i].convert(method.parameterMetaType(i));
        generic[i] = QGenericArgument(method.parameterMetaType(i).name(), values[i].constData());
    }
    method.invoke(api, Qt::DirectConnection, generic[0], generic[1], generic[2]);
}

void ScreenshotSession::runStep(int index)
{
    if (index >= steps.size()) {
        QCoreApplication::exit(failures == 0 ? 0 : 1);
        return;
    }
    QTimer::singleShot(steps.at(index).delayMs, this, [this, index] {
        const Step &step = steps.at(index);
        step.action();
        if (step.shot.isEmpty()) {
            runStep(index + 1);
            return;
        }
        // Let the action's changes reach a frame before grabbing it.
        QTimer::singleShot(150, this, [this, index] {
            grab(steps.at(index).shot);
            runStep(index + 1);
        });
    });
}

void ScreenshotSession::grab(const QString &name)
{
    const QImage frame = window()->grabWindow();
    const QString path = outputDir.filePath(name + QStringLiteral(".png"));
    if (frame.isNull() || !frame.save(path)) {
        qCritical().noquote() << "[Screenshots] 保存失败:" << path;
        ++failures;
        return;
    }
    qInfo().noquote() << "[Screenshots] 已保存:" << path;
}

} // namespace Tavorin::Tools
