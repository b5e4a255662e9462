#include "FakeApi.h"
#include "FakeApiControl.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

using Tavorin::Testing::FakeApi;
using Tavorin::Testing::FakeApiControl;

// Runs once per tst_*.qml file: every file gets a fresh fake as `API` and its control as `FakeApi`.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        // The same style on every platform, so customised controls raise no style warnings.
        QQuickStyle::setStyle(QStringLiteral("Basic"));
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        auto *api = new FakeApi(engine);
        auto *control = new FakeApiControl(api, engine);
        engine->rootContext()->setContextProperty(QStringLiteral("API"), api);
        engine->rootContext()->setContextProperty(QStringLiteral("FakeApi"), control);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(mirevo_qmltest, Setup)

#include "QmlTestMain.moc"
