#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// One finished run of a stand-in program, as the client would see it.
struct StandinRun
{
    bool finished = false;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = -1;
    QString out;
    QString err;
    qint64 elapsedMs = 0;

    bool succeeded() const { return finished && status == QProcess::NormalExit && exitCode == 0; }

    // Runs `program` (a name found through PATH, or a path) with its arguments as a list, its input
    // closed, and waits up to `limitMs` for it to end.
    static StandinRun run(const QString &program, const QStringList &arguments, int limitMs = 10000);
    // Where the build puts the core and tun2socks stand-ins: beside the test, as beside the client.
    static QString coreDirectory();
};
