#pragma once

#include <QString>

class QCoreApplication;
class QProcess;

// How the local programs of the development tooling (the service, the demo's vmess endpoint, the
// proxy-core stand-in) and the tests that start them keep each other's lifetimes: nothing they start
// outlives them, and a program started by a script or a test ends with it.
class ProcessTies
{
public:
    // The kernel kills `child` when this process ends, also when this process is killed; call before
    // starting it.
    static void endWithThisProcess(QProcess &child);
    // Quits the application once standard input reaches end of file: whoever started this program
    // holds its input open for as long as it wants the program to run.
    static void quitWhenInputCloses(QCoreApplication &app);
    // The other side of that: closes the input of a running `child` and waits up to `graceMs` for it
    // to end; one that does not is killed.
    static void endByClosingInput(QProcess &child, int graceMs);
    // Debian's v2ray: $MIREVO_V2RAY, else v2ray on PATH; empty when there is neither.
    static QString v2rayProgram();
};
