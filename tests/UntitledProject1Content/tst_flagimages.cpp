#include <QColor>
#include <QImage>
#include <QTest>

// The flag images as the screens load them, from the module's resources. Belize's coat of arms holds
// two figures painted with radial gradients that refer to each other, which a renderer of SVG Tiny
// leaves blank (near white): its colours show whether the whole SVG was rendered.
class TestFlagImages : public QObject
{
    Q_OBJECT

private slots:
    void gradientsAreRendered_data();
    void gradientsAreRendered();
};

void TestFlagImages::gradientsAreRendered_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("expected");

    // The left figure's gradient runs from yellow to orange, the right one's from red-brown to dark brown.
    const QColor gold(250, 205, 75);
    const QColor brown(135, 40, 22);
    QTest::newRow("left figure") << "bz.png" << QSize(32, 24) << QPoint(12, 9) << gold;
    QTest::newRow("right figure") << "bz.png" << QSize(32, 24) << QPoint(19, 9) << brown;
    QTest::newRow("left figure, 2x") << "bz@2x.png" << QSize(64, 48) << QPoint(25, 18) << gold;
    QTest::newRow("right figure, 2x") << "bz@2x.png" << QSize(64, 48) << QPoint(39, 18) << brown;
}

void TestFlagImages::gradientsAreRendered()
{
    QFETCH(QString, file);
    QFETCH(QSize, size);
    QFETCH(QPoint, point);
    QFETCH(QColor, expected);

    const QImage image(QStringLiteral(":/qt/qml/UntitledProject1Content/resources/flags/") + file);
    QVERIFY2(!image.isNull(), qPrintable(file));
    QCOMPARE(image.size(), size);
    const QColor actual = image.pixelColor(point);
    // Anti-aliasing and the renderer's rounding move a channel by a few steps, a lost gradient by a
    // hundred and more.
    const int tolerance = 40;
    const QString seen = QStringLiteral("%1 at (%2, %3) is %4, expected about %5")
                             .arg(file)
                             .arg(point.x())
                             .arg(point.y())
                             .arg(actual.name(), expected.name());
    QVERIFY2(qAbs(actual.red() - expected.red()) <= tolerance, qPrintable(seen));
    QVERIFY2(qAbs(actual.green() - expected.green()) <= tolerance, qPrintable(seen));
    QVERIFY2(qAbs(actual.blue() - expected.blue()) <= tolerance, qPrintable(seen));
    QCOMPARE(actual.alpha(), 255);
}

QTEST_GUILESS_MAIN(TestFlagImages)

#include "tst_flagimages.moc"
