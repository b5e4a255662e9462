#include "ScreenshotSession.h"

#include "FakeApi.h"
#include "FakeApiControl.h"

#include <QCoreApplication>
#include <QDateTime>
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

QVariantMap storeServer(int id, const QString &name, const QString &countryCode, const QString &tier,
                        bool requiresVip, bool canConnect)
{
    return {{"id", id},
            {"name", name},
            {"countryCode", countryCode},
            {"flag", QStringLiteral("🌐")},
            {"tier", tier},
            {"requiresVip", requiresVip},
            {"canConnect", canConnect},
            {"vmessLink", QStringLiteral("vmess://eyJ2IjoiMiIsInBzIjoiZGVtbyJ9")}};
}

QVariantMap plan(int id, const QString &name, int days, double price)
{
    return {{"id", id},          {"name", name},
            {"days", days},      {"price", price},
            {"currency", "CNY"}, {"daysText", QStringLiteral("%1天").arg(days)},
            {"isActive", true},  {"formattedPrice", QStringLiteral("¥%1").arg(price)}};
}

QVariantMap order(const QString &number, const QString &planName, double amount, const QString &status,
                  const QString &statusText, const QDateTime &createdAt)
{
    return {{"orderNumber", number},
            {"planName", planName},
            {"amount", amount},
            {"status", status},
            {"statusText", statusText},
            {"paymentMethod", "alipay"},
            {"paymentMethodText", QStringLiteral("支付宝")},
            {"createdAt", createdAt}};
}

QVariantMap announcement(int id, const QString &title, const QString &content, const QString &type,
                         const QDateTime &publishedAt)
{
    return {{"id", id},
            {"title", title},
            {"content", content},
            {"type", type},
            {"publishedAt", publishedAt},
            {"createdAt", publishedAt}};
}

// Texts from the service that are longer than their place, as each long-text frame shows them: about
// 200 characters of words, one word of 80 characters, and four lines.
QString longSentence()
{
    const QString words =
        QStringLiteral("服务说明 Mirevo Premium 高速专线 with words that go on and on 直到一行放不下为止 ");
    return words.repeated(5).left(200);
}

QString longWord()
{
    return QStringLiteral("Supercalifragilistic").repeated(4);
}

QString fourLines()
{
    return QStringLiteral("第一行说明\n第二行说明\n第三行说明\n第四行说明");
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
        // A name longer than the pill's room: cut short, the avatar and the badge stay inside.
        {100,
         [this] {
             control->setState({{"userName", QStringLiteral("Alexandra Konstantinopoulou")}});
         },
         QStringLiteral("05-main-vip-long-name")},
        {200,
         [this] {
             emitSignal("vpnForceDisconnected(QString)",
                        {QStringLiteral("您的账号在其他设备登录，已被强制下线")});
         },
         QString()},
        {400, [] {}, QStringLiteral("06-forced-disconnect-dialog")},
        {100,
         [this] {
             closeDialog();
             // The VIP page sells and the order history shows orders only to a signed-in user.
             signInAsVip();
             emitSignal("vpnDisconnected()");
             control->setState({{"isLoggedIn", false},
                                {"userEmail", ""},
                                {"userName", ""},
                                {"isVip", false},
                                {"vipDays", 0},
                                {"vipExpiresAt", ""}});
             openPage("loginPage", QStringLiteral("点击用户信息，跳转到登录界面"));
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
        {100, [this] { openPage("registerPage", QStringLiteral("跳转到注册界面")); }, QString()},
        {450,
         [this] {
             setText(window(), QStringLiteral("emailField"), QStringLiteral("new@mirevo.app"));
             setText(window(), QStringLiteral("passwordField"), QStringLiteral("secret1"));
             setText(window(), QStringLiteral("confirmField"), QStringLiteral("secret2"));
             if (QQuickItem *form = findItem(window()->contentItem(), QStringLiteral("registerScreen")))
                 QMetaObject::invokeMethod(form, "submit");
         },
         QStringLiteral("09-register-refused")},
        {100, [this] { closePage(QStringLiteral("返回登录界面")); }, QString()},
        {400, [this] { closePage(QStringLiteral("返回主界面")); }, QString()},
        {400, [this] { openPage("settingsPage", QStringLiteral("点击设置图标，跳转到设置界面")); },
         QString()},
        {450, [] {}, QStringLiteral("10-settings-signed-out")},
        {100, [this] { signInAsVip(); }, QStringLiteral("11-settings-vip")},
        {100, [this] { openPage("aboutUsPage", QStringLiteral("跳转到关于我们")); }, QString()},
        {450, [] {}, QStringLiteral("12-about")},
        {100, [this] { closePage(QStringLiteral("返回设置界面")); }, QString()},
        {400, [this] { closePage(QStringLiteral("返回主界面")); }, QString()},
        {400, [] {}, QString()},
    };
    appendStoreSteps();
    appendLongTextSteps();
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

// The server picker, the VIP page with its payment view, the order history and the announcements.
void ScreenshotSession::appendStoreSteps()
{
    const QVariantList servers{
        storeServer(3, QStringLiteral("香港 01"), QStringLiteral("HK"), QStringLiteral("free"), false, true),
        storeServer(4, QStringLiteral("日本 东京"), QStringLiteral("JP"), QStringLiteral("free"), false,
                    true),
        storeServer(7, QStringLiteral("美国 洛杉矶"), QStringLiteral("US"), QStringLiteral("vip"), true,
                    true),
        storeServer(8, QStringLiteral("新加坡 VIP"), QStringLiteral("SG"), QStringLiteral("vip"), true,
                    false)};
    const QVariantList plans{
        plan(1, QStringLiteral("月度会员"), 30, 15), plan(2, QStringLiteral("季度会员"), 90, 40),
        plan(3, QStringLiteral("半年会员"), 180, 75), plan(4, QStringLiteral("年度会员"), 365, 128)};
    const QDateTime day(QDate(2026, 12, 1), QTime(10, 30));
    const QVariantList orders{order(QStringLiteral("MV20261201103000000003"), QStringLiteral("年度会员"), 128,
                                    QStringLiteral("completed"), QStringLiteral("已完成"), day),
                              order(QStringLiteral("MV20261120090000000002"), QStringLiteral("季度会员"), 40,
                                    QStringLiteral("pending"), QStringLiteral("待支付"), day.addDays(-11)),
                              order(QStringLiteral("MV20261001080000000001"), QStringLiteral("月度会员"), 15,
                                    QStringLiteral("cancelled"), QStringLiteral("已取消"), day.addDays(-61))};
    const QVariantList notices{
        announcement(4, QStringLiteral("年度会员限时优惠"),
                     QStringLiteral("年度会员限时特价128元，活动截至本月底。"), QStringLiteral("activity"),
                     day),
        announcement(
            3, QStringLiteral("Windows客户端更新"),
            QStringLiteral("Windows客户端已更新到1.0.0版本：连接更稳定，支持智能分流与全局模式切换。"),
            QStringLiteral("update"), day.addDays(-2)),
        announcement(2, QStringLiteral("系统维护通知"),
                     QStringLiteral("12月15日 02:00-04:00 进行例行维护，期间可能短暂断线。"),
                     QStringLiteral("maintenance"), day.addDays(-5))};

    steps += {{200,
               [this] {
                   closeDialog();
                   // The VIP page sells and the order history shows orders only to a signed-in user.
                   signInAsVip();
               },
               QString()}};
    steps += listPageSteps("selectServerPage", "serversLoaded(QVariantList)", servers,
                           QStringLiteral("21-server-list"));
    steps += listPageSteps("vipPage", "plansLoaded(QVariantList)", plans, QStringLiteral("22-vip-plans"));
    steps += {{100,
               [this] {
                   // Buy the year, then pick the month before the service answers: the panel still names
                   // the plan behind the QR code.
                   if (QQuickItem *vip = findItem(window()->contentItem(), QStringLiteral("vipScreen"))) {
                       QMetaObject::invokeMethod(vip, "buy");
                       QMetaObject::invokeMethod(vip, "selectPlan", Q_ARG(QVariant, 0));
                   }
                   emitSignal("paymentCreated(QVariantMap)",
                              {QVariantMap{{"orderId", QStringLiteral("MV20261210090340000001")},
                                           {"paymentUrl", QStringLiteral("qrc:/screenshots/payment-qr.png")},
                                           {"amount", 128},
                                           {"planName", QStringLiteral("年度会员")},
                                           {"planDays", 365}}});
               },
               QStringLiteral("23-vip-payment")}};
    steps += listPageSteps("myOrdersPage", "ordersLoaded(QVariantList)", orders, QStringLiteral("24-orders"));
    steps +=
        {{100, [this] { emitSignal("ordersLoaded(QVariantList)", {QVariant(QVariantList())}); },
          QStringLiteral("25-orders-empty")},
         {100,
          [this] { emitSignal("ordersError(QString)", {QStringLiteral("网络连接失败，请检查网络后重试")}); },
          QStringLiteral("26-orders-error")}};
    steps += listPageSteps("announcementPage", "announcementsLoaded(QVariantList)", notices,
                           QStringLiteral("27-announcements"));
    steps += {{100, [this] { closePage(); }, QString()}};
}

// Every screen whose texts come from the service, fed the long texts above.
void ScreenshotSession::appendLongTextSteps()
{
    const QString sentence = longSentence();
    const QString word = longWord();
    const QString lines = fourLines();
    const QVariantList servers{
        storeServer(3, sentence, sentence, QStringLiteral("free"), false, true),
        storeServer(4, word, word, QStringLiteral("free"), false, true),
        storeServer(7, lines, lines, QStringLiteral("vip"), true, true),
        storeServer(8, sentence, QStringLiteral("SG"), QStringLiteral("vip"), true, false)};
    QVariantMap longPlan = plan(1, sentence, 30, 15);
    longPlan.insert(QStringLiteral("daysText"), lines);
    longPlan.insert(QStringLiteral("formattedPrice"), word);
    const QVariantList plans{longPlan, plan(2, word, 90, 40), plan(3, lines, 180, 75)};
    const QDateTime day(QDate(2026, 12, 1), QTime(10, 30));
    QVariantMap longOrder = order(sentence, sentence, 128, QStringLiteral("pending"), sentence, day);
    longOrder.insert(QStringLiteral("paymentMethodText"), sentence);
    const QVariantList orders{longOrder,
                              order(word, word, 40, QStringLiteral("completed"), word, day.addDays(-11)),
                              order(lines, lines, 15, QStringLiteral("cancelled"), lines, day.addDays(-61))};
    const QVariantList notices{
        announcement(3, word, word + QLatin1Char(' ') + sentence, QStringLiteral("update"), day),
        announcement(2, lines, lines, QStringLiteral("maintenance"), day.addDays(-5))};

    steps += {{400,
               [this, sentence] {
                   QMetaObject::invokeMethod(window(), "adoptSelectedServer", Q_ARG(QVariant, sentence),
                                             Q_ARG(QVariant, QStringLiteral("🌐")), Q_ARG(QVariant, sentence),
                                             Q_ARG(QVariant, QStringLiteral("45ms")), Q_ARG(QVariant, 3),
                                             Q_ARG(QVariant, QStringLiteral("vmess://eyJ2IjoiMiJ9")),
                                             Q_ARG(QVariant, false));
               },
               QStringLiteral("31-long-main-server-card")},
              {100,
               [this, sentence] {
                   emitSignal("vpnForceDisconnected(QString)",
                              {QString(sentence + QLatin1Char(' ')).repeated(12)});
               },
               QString()},
              {400, [] {}, QStringLiteral("32-long-dialog-message")},
              {100,
               [this] {
                   closeDialog();
                   control->setState({{"isLoggedIn", false}});
                   openPage("loginPage");
               },
               QString()},
              {450,
               [this, sentence] {
                   // The refusal of a sign-in this screen sent.
                   if (QQuickItem *form = findItem(window()->contentItem(), QStringLiteral("loginScreen")))
                       QMetaObject::invokeMethod(form, "loginClicked",
                                                 Q_ARG(QString, QStringLiteral("demo@mirevo.app")),
                                                 Q_ARG(QString, QStringLiteral("wrong-password")));
                   emitSignal("loginError(QString)", {sentence});
               },
               QStringLiteral("33-long-login-error")},
              {100,
               [this, sentence, word] {
                   closePage();
                   control->setState({{"isLoggedIn", true},
                                      {"userEmail", word + QStringLiteral("@mirevo.app")},
                                      {"userName", sentence},
                                      {"isVip", true},
                                      {"vipDays", 30}});
                   openPage("settingsPage");
               },
               QString()},
              {450, [] {}, QStringLiteral("34-long-settings-user-card")}};
    steps += listPageSteps("selectServerPage", "serversLoaded(QVariantList)", servers,
                           QStringLiteral("35-long-server-list"));
    steps +=
        listPageSteps("vipPage", "plansLoaded(QVariantList)", plans, QStringLiteral("36-long-vip-plans"));
    steps += {{100,
               [this, sentence] {
                   if (QQuickItem *vip = findItem(window()->contentItem(), QStringLiteral("vipScreen")))
                       QMetaObject::invokeMethod(vip, "buy");
                   // A payment page that serves no picture.
                   emitSignal("paymentCreated(QVariantMap)",
                              {QVariantMap{{"orderId", sentence},
                                           {"paymentUrl", QStringLiteral("qrc:/screenshots/no-such-qr.png")},
                                           {"amount", 15},
                                           {"planName", sentence},
                                           {"planDays", 30}}});
               },
               QStringLiteral("37-long-vip-payment-qr-failed")}};
    steps +=
        listPageSteps("myOrdersPage", "ordersLoaded(QVariantList)", orders, QStringLiteral("38-long-orders"));
    steps += listPageSteps("announcementPage", "announcementsLoaded(QVariantList)", notices,
                           QStringLiteral("39-long-announcements"));
    steps += {{100, [this] { closePage(); }, QString()}};
}

// Leaves the page on top for the named one, hands that its list as the service would and grabs it.
QList<ScreenshotSession::Step> ScreenshotSession::listPageSteps(const char *pageProperty,
                                                                const char *listSignal,
                                                                const QVariantList &list, const QString &shot)
{
    return {{100,
             [this, pageProperty, listSignal, list] {
                 closePage();
                 openPage(pageProperty);
                 emitSignal(listSignal, {QVariant(list)});
             },
             QString()},
            {450, [] {}, shot}};
}

void ScreenshotSession::openPage(const char *pageProperty, const QString &logLine)
{
    QQuickWindow *win = window();
    const QString line = logLine.isEmpty()
                             ? QStringLiteral("[Screenshots] 打开 %1").arg(QLatin1String(pageProperty))
                             : logLine;
    QMetaObject::invokeMethod(win, "openPage", Q_ARG(QVariant, win->property(pageProperty)),
                              Q_ARG(QVariant, line));
}

void ScreenshotSession::closePage(const QString &logLine)
{
    // The main screen at the bottom of the stack stays.
    const QQuickItem *stack = findItem(window()->contentItem(), QStringLiteral("stackView"));
    if (!stack || stack->property("depth").toInt() < 2)
        return;
    QMetaObject::invokeMethod(window(), "closePage", Q_ARG(QVariant, logLine));
}

void ScreenshotSession::closeDialog()
{
    if (QObject *dialog = window()->findChild<QObject *>(QStringLiteral("messageDialog")))
        QMetaObject::invokeMethod(dialog, "close");
}

void ScreenshotSession::signInAsVip()
{
    control->setState({{"isLoggedIn", true},
                       {"userEmail", "vip@mirevo.app"},
                       {"userName", "Alice"},
                       {"isVip", true},
                       {"vipDays", 30},
                       {"vipExpiresAt", "2027-01-09T08:00:00Z"}});
}

} // namespace Tavorin::Tools
