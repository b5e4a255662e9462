#include "app/TerminationSignals.h"

#include <QTest>

#include <cerrno>
#include <csignal>

// A signal arrives between any two instructions, also between a failed call and the read of its
// errno: the handler must leave errno as it found it.
class TestTerminationSignals : public QObject
{
    Q_OBJECT

private slots:
    void handlerKeepsErrno_data();
    void handlerKeepsErrno();
};

void TestTerminationSignals::handlerKeepsErrno_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestTerminationSignals::handlerKeepsErrno()
{
    QFETCH(int, signalNumber);
    Tavorin::Api::TerminationSignals terminationSignals;
    // No event loop runs here, so nothing reads the handler's pipe: well before the last of these the
    // pipe is full and the handler's write fails, which is when it would change errno.
    constexpr int raises = 1 << 18;
    for (int i = 0; i < raises; ++i) {
        errno = EDOM;
        QCOMPARE(std::raise(signalNumber), 0);
        if (errno != EDOM)
            QFAIL(qPrintable(QStringLiteral("errno became %1 after %2 signals").arg(errno).arg(i + 1)));
    }
}

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
