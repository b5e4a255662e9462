#include "FakeApi.h"
#include "FakeApiControl.h"
#include "QmlLog.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQuickTest>

using Tavorin::Testing::FakeApi;
using Tavorin::Testing::FakeApiControl;
using Tavorin::Testing::QmlLog;

// qmlEngineAvailable runs once per tst_*.qml file: every file gets a fresh fake as `API` and its
// control as `FakeApi`; the log record `QmlLog` lives for the whole run.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        // The same style on every platform, so customised controls raise no style warnings.
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        log = new QmlLog(this);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        auto *api = new FakeApi(engine);
        auto *control = new FakeApiControl(api, engine);
        engine->rootContext()->setContextProperty(QStringLiteral("API"), api);
        engine->rootContext()->setContextProperty(QStringLiteral("FakeApi"), control);
        engine->rootContext()->setContextProperty(QStringLiteral("QmlLog"), log);
    }

private:
    QmlLog *log = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(mirevo_qmltest, Setup)

#include "QmlTestMain.moc"
