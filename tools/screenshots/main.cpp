#include "FakeApi.h"
#include "FakeApiControl.h"
#include "ScreenshotSession.h"

#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QUrl>

// Loads the window from the client's own QML modules with the fake API published as `API`, walks it
// through its main states and writes one PNG per state.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    const QStringList arguments = app.arguments();
    const QDir outputDir(arguments.size() > 1 ? arguments.at(1) : QStringLiteral(MIREVO_SCREENSHOT_DIR));
    if (!QDir().mkpath(outputDir.absolutePath())) {
        qCritical().noquote() << "[Screenshots] 无法创建目录:" << outputDir.absolutePath();
        return 1;
    }

    QQmlApplicationEngine engine;
    auto *api = new Tavorin::Testing::FakeApi(&app);
    auto *control = new Tavorin::Testing::FakeApiControl(api, &app);
    engine.rootContext()->setContextProperty(QStringLiteral("API"), api);
    engine.addImportPath(QStringLiteral(":/qt/qml"));
    engine.setInitialProperties({{QStringLiteral("splashDuration"), 800}});
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/UntitledProject1Content/App.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;

    Tavorin::Tools::ScreenshotSession session(&engine, api, control, outputDir);
    session.start();
    return app.exec();
}
