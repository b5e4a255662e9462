#include "FakeApi.h"
#include "app/QmlApiAdapter.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QTest>

using Tavorin::Api::QmlApiAdapter;
using Tavorin::Testing::FakeApi;

namespace {

// What a screen can see of an object: its own signals, invokables and properties, in order.
QStringList methods(const QMetaObject &meta, QMetaMethod::MethodType type)
{
    QStringList result;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() != type || method.access() != QMetaMethod::Public)
            continue;
        result << QStringLiteral("%1 %2 (%3)")
                      .arg(QString::fromLatin1(method.typeName()),
                           QString::fromLatin1(method.methodSignature()),
                           QString::fromLatin1(method.parameterNames().join(',')));
    }
    return result;
}

QStringList properties(const QMetaObject &meta)
{
    QStringList result;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        result << QStringLiteral("%1 %2 writable=%3 notify=%4")
                      .arg(QString::fromLatin1(property.typeName()), QString::fromLatin1(property.name()))
                      .arg(property.isWritable())
                      .arg(QString::fromLatin1(property.notifySignal().methodSignature()));
    }
    return result;
}

} // namespace

class TestFakeApiMatches : public QObject
{
    Q_OBJECT

private slots:
    void sameInterface_data();
    void sameInterface();
};

void TestFakeApiMatches::sameInterface_data()
{
    QTest::addColumn<QStringList>("fake");
    QTest::addColumn<QStringList>("real");
    const QMetaObject &fake = FakeApi::staticMetaObject;
    const QMetaObject &real = QmlApiAdapter::staticMetaObject;
    QTest::newRow("signals") << methods(fake, QMetaMethod::Signal) << methods(real, QMetaMethod::Signal);
    QTest::newRow("invokables") << methods(fake, QMetaMethod::Method) << methods(real, QMetaMethod::Method);
    QTest::newRow("slots") << methods(fake, QMetaMethod::Slot) << methods(real, QMetaMethod::Slot);
    QTest::newRow("properties") << properties(fake) << properties(real);
}

void TestFakeApiMatches::sameInterface()
{
    QFETCH(QStringList, fake);
    QFETCH(QStringList, real);
    QCOMPARE(fake, real);
}

QTEST_GUILESS_MAIN(TestFakeApiMatches)
#include "tst_fakeapi_matches.moc"
