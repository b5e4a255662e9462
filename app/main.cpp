#include "api/network/LogLine.h"
#include "app/ApiManager.h"
#include "app/ClientExit.h"
#include "app/QmlApiAdapter.h"
#include "app/QtTranslations.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"

#include <QDebug>
#include <QGuiApplication>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QUrl>
#include <QWindow>

int main(int argc, char *argv[])
{
    Tavorin::Api::Network::LogLine::installHandler();
    QGuiApplication app(argc, argv);
    // A second start only brings the running client forward: it writes nothing and repairs nothing.
    Tavorin::Api::SingleInstance instance;
    if (!instance.claim())
        return 0;
    Tavorin::Api::TerminationSignals terminationSignals;
    // One style everywhere, so the customised controls look the same on every platform.
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    // Texts Qt writes itself, such as a failed request's error that the screens show, in the user's language.
    Tavorin::Api::installQtTranslations(app, QLocale::system());

    Tavorin::Api::ApiManager::instance()->initialize([](bool success) {
        if (success)
            qDebug() << "API模块初始化成功";
        else
            qCritical() << "API模块初始化失败";
    });

    QQmlApplicationEngine engine;
    QObject::connect(&instance, &Tavorin::Api::SingleInstance::activationRequested, &engine, [&engine]() {
        const QList<QObject *> roots = engine.rootObjects();
        for (QObject *root : roots) {
            if (auto *window = qobject_cast<QWindow *>(root)) {
                window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
                window->show();
                window->raise();
                window->requestActivate();
            }
        }
    });
    auto *adapter = new Tavorin::Api::QmlApiAdapter(&app);
    engine.rootContext()->setContextProperty(QStringLiteral("API"), adapter);

    engine.addImportPath(QCoreApplication::applicationDirPath() + QStringLiteral("/qml"));
    engine.addImportPath(QStringLiteral(":/qt/qml"));
    engine.addImportPath(QStringLiteral(":/"));
    qDebug().noquote() << "应用程序目录:" << QCoreApplication::applicationDirPath();
    qDebug() << "导入路径:" << engine.importPathList();

    QUrl url(QStringLiteral("qrc:/qt/qml/UntitledProject1Content/App.qml"));
    qDebug().noquote() << "尝试加载URL:" << url.toString();
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [url]() {
            qDebug().noquote() << "加载失败:" << url.toString();
            qDebug() << "尝试备用路径...";
        },
        Qt::QueuedConnection);
    engine.load(url);

    if (engine.rootObjects().isEmpty()) {
        qDebug() << "第一种方式失败，尝试直接路径...";
        url = QUrl(QStringLiteral("qrc:/UntitledProject1Content/App.qml"));
        qDebug().noquote() << "尝试加载URL:" << url.toString();
        engine.load(url);
    }

    if (engine.rootObjects().isEmpty()) {
        qDebug() << "所有加载方式都失败了";
        return -1;
    }
    for (QObject *root : engine.rootObjects())
        Tavorin::Api::ClientExit::instance()->watchWindow(root);
    qDebug() << "应用程序启动成功！";
    return app.exec();
}
