#include "ClientConfig.h"
#include "CoreProcess.h"
#include "LocalPorts.h"
#include "StandinState.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 TransferSize = 200 * MiB;
// The slow reader: one chunk per tick, about 2 MB/s, for the first seconds of the transfer.
constexpr qint64 SlowChunk = 40 * 1024;
constexpr int SlowTickMs = 20;
constexpr int SlowPhaseMs = 2000;
constexpr int WindowMs = 500;
// What the core may grow by while it relays: its own buffers, never the transfer.
constexpr qint64 GrowthLimitKiB = 32 * 1024;

// The resident memory of a process, in KiB; -1 where the system does not say (the stand-ins run on Linux).
qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB"))
                                              .match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

// Reads from `socket` until `done` holds or the time is up, spinning the event loop: the far end
// answers from this thread.
bool readUntil(QTcpSocket &socket, QByteArray &received, const std::function<bool()> &done)
{
    return QTest::qWaitFor(
        [&]() {
            received += socket.readAll();
            return done();
        },
        30000);
}

// Opens a tunnel through the core's mixed port to 127.0.0.1:`port`, which the core's rules send
// direct: the relay and v2ray's inbound are then the only hops.
bool openTunnel(QTcpSocket &socket, const QString &proxy, quint16 port, QString *problem)
{
    socket.connectToHost(QHostAddress::LocalHost, LocalPorts::mixed());
    if (!socket.waitForConnected(30000)) {
        *problem = socket.errorString();
        return false;
    }
    QByteArray received;
    if (proxy == QLatin1String("socks5")) {
        socket.write(QByteArray::fromHex("050100"));
        if (!readUntil(socket, received, [&]() { return received.size() >= 2; }) ||
            received.left(2) != QByteArray::fromHex("0500")) {
            *problem =
                QStringLiteral("socks greeting answered %1").arg(QString::fromLatin1(received.toHex()));
            return false;
        }
        received.clear();
        QByteArray request = QByteArray::fromHex("050100017f000001");
        request.append(char(port >> 8)).append(char(port & 0xff));
        socket.write(request);
        if (!readUntil(socket, received, [&]() { return received.size() >= 10; }) || received.at(1) != 0) {
            *problem = QStringLiteral("socks connect answered %1").arg(QString::fromLatin1(received.toHex()));
            return false;
        }
        return true;
    }
    socket.write(
        QStringLiteral("CONNECT 127.0.0.1:%1 HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n\r\n").arg(port).toLatin1());
    if (!readUntil(socket, received, [&]() { return received.contains("\r\n\r\n"); }) ||
        !received.startsWith("HTTP/1.1 200")) {
        *problem = QStringLiteral("CONNECT answered %1").arg(QString::fromLatin1(received));
        return false;
    }
    return received.endsWith("\r\n\r\n");
}

} // namespace

// The core stand-in's mixed port between a fast sender and a slow reader: the relay passes on only as
// fast as the reader takes, so the reader gets a steady stream and the core holds no more than its
// buffers, however much goes through.
class CoreRelayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // In the sanitizer build the core keeps what it frees in quarantine, 256 MB by default, which
        // would count as its memory here: a small quarantine leaves what the relay itself holds.
        const QByteArray sanitizer = qgetenv("ASAN_OPTIONS");
        qputenv("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "quarantine_size_mb=4");
    }
    void init() { StandinState::reset(); }
    void cleanup() { QVERIFY(StandinState::endRunningPrograms()); }

    void aSlowReaderSetsThePace_data()
    {
        QTest::addColumn<QString>("proxy");
        QTest::addColumn<bool>("download"); // the far end sends; else the client sends and the far end reads
        QTest::newRow("download through socks5") << "socks5" << true;
        QTest::newRow("upload through an http tunnel") << "http" << false;
    }

    void aSlowReaderSetsThePace()
    {
        QFETCH(QString, proxy);
        QFETCH(bool, download);

        QTcpServer farEnd;
        QVERIFY(farEnd.listen(QHostAddress::LocalHost));
        CoreProcess core;
        QVERIFY2(core.start(ClientConfig::document()), qPrintable(core.errors()));
        const qint64 corePid = core.process.processId();
        const qint64 startKiB = residentKiB(corePid);
        QVERIFY2(startKiB > 0, "the core's memory is read from /proc/<pid>/status");

        QTcpSocket client;
        QString problem;
        QVERIFY2(openTunnel(client, proxy, farEnd.serverPort(), &problem), qPrintable(problem));
        QTRY_VERIFY2_WITH_TIMEOUT(farEnd.hasPendingConnections(), "the tunnel's connection to the far end",
                                  30000);
        QTcpSocket *accepted = farEnd.nextPendingConnection();
        QVERIFY(accepted);
        QTcpSocket &sender = download ? *accepted : client;
        QTcpSocket &reader = download ? client : *accepted;
        // Read no further ahead than the reader asks: the rest waits in the core and the kernel.
        reader.setReadBufferSize(SlowChunk);

        // The sender keeps a little queued, from a random block at an offset that wanders.
        QByteArray block(MiB, Qt::Uninitialized);
        QRandomGenerator generator(23);
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        QCryptographicHash sentHash(QCryptographicHash::Md5);
        qint64 sent = 0;
        const auto send = [&]() {
            while (sent < TransferSize && sender.bytesToWrite() < MiB) {
                const qint64 offset = (sent * 7) % (block.size() - 64 * 1024);
                const QByteArray piece = block.mid(offset, std::min<qint64>(64 * 1024, TransferSize - sent));
                sentHash.addData(piece);
                sender.write(piece);
                sent += piece.size();
            }
        };
        connect(&sender, &QTcpSocket::bytesWritten, this, send);
        send();

        QCryptographicHash receivedHash(QCryptographicHash::Md5);
        qint64 received = 0;
        const auto take = [&](qint64 most) {
            const QByteArray data = reader.read(most);
            receivedHash.addData(data);
            received += data.size();
        };
        qint64 peakKiB = startKiB;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this,
                [&]() { peakKiB = std::max(peakKiB, residentKiB(corePid)); });
        sampler.start(50);

        // Slow: each tick takes one chunk. Every window of ticks must find some of its chunks there: the
        // relay never stops passing on while the reader takes. (How much of them is a matter of how
        // much time the machine gives the relay, not of what it does.)
        QList<double> windowShares;
        int ticks = 0;
        qint64 windowWanted = 0;
        qint64 windowGot = 0;
        QElapsedTimer window;
        QTimer slow;
        connect(&slow, &QTimer::timeout, this, [&]() {
            const qint64 before = received;
            take(SlowChunk);
            ++ticks;
            windowWanted += SlowChunk;
            windowGot += received - before;
            if (window.elapsed() >= WindowMs) {
                windowShares.append(double(windowGot) / double(windowWanted));
                windowWanted = windowGot = 0;
                window.restart();
            }
        });
        // The tunnel first fills up to the reader.
        QTRY_VERIFY2_WITH_TIMEOUT(reader.bytesAvailable() >= SlowChunk, "the first chunk through the tunnel",
                                  30000);
        window.start();
        QElapsedTimer slowClock;
        slowClock.start();
        slow.start(SlowTickMs);
        QTest::qWait(SlowPhaseMs);
        slow.stop();
        const qint64 slowElapsed = slowClock.elapsed();
        QVERIFY(ticks > 0);
        for (const double share : std::as_const(windowShares))
            QVERIFY2(share > 0, qPrintable(QStringLiteral("a window got %1 of its chunks").arg(share)));
        const qint64 slowPeakKiB = peakKiB;

        // Then as fast as it comes, to the end.
        QElapsedTimer fast;
        fast.start();
        const qint64 slowReceived = received;
        reader.setReadBufferSize(4 * MiB);
        connect(&reader, &QTcpSocket::readyRead, this, [&]() { take(reader.bytesAvailable()); });
        take(reader.bytesAvailable());
        // Within the test function's own limit (300 s), which would end the test without naming the step.
        // The event loop runs all the while (both ends are served from it): no sleeping between looks.
        const QDeadlineTimer deadline(200000);
        while (received != TransferSize && !deadline.hasExpired())
            QTest::qWait(50);
        QVERIFY2(
            received == TransferSize,
            qPrintable(QStringLiteral("the rest of the transfer, read as fast as it comes: %1 of %2 bytes")
                           .arg(received)
                           .arg(TransferSize)));
        QCOMPARE(receivedHash.result(), sentHash.result());
        qInfo().noquote() << QStringLiteral(
                                 "core RSS: %1 MiB at the start, at most %2 MiB while the reader took "
                                 "%3 KiB/s, at most %4 MiB over the %5 MiB, the last %6 MiB of them in "
                                 "%7 ms")
                                 .arg(startKiB / 1024.0, 0, 'f', 1)
                                 .arg(slowPeakKiB / 1024.0, 0, 'f', 1)
                                 .arg(slowReceived * 1000 / 1024 / std::max<qint64>(1, slowElapsed))
                                 .arg(peakKiB / 1024.0, 0, 'f', 1)
                                 .arg(TransferSize / MiB)
                                 .arg((TransferSize - slowReceived) / MiB)
                                 .arg(fast.elapsed());
        QVERIFY2(peakKiB - startKiB < GrowthLimitKiB,
                 qPrintable(QStringLiteral("the core grew from %1 to %2 KiB").arg(startKiB).arg(peakKiB)));
    }
};

QTEST_GUILESS_MAIN(CoreRelayTest)
#include "tst_corerelay.moc"
