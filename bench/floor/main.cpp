// The memory floor of scripts/bench: what a bare Qt Quick window of the client's kind costs, so that
// the client's idle figure can be read against it.

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QUrl>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral(":/qt/qml"));
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/MirevoFloor/Floor.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    return app.exec();
}
