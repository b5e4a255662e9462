#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace Tavorin::Api::Vpn {

// The one way the engine runs an external command: an argument list (no shell), a wait with a limit,
// exit code 0 as success, and failures logged under the caller's tag.
class CommandRunner
{
public:
    static constexpr int defaultTimeoutMs = 10000;

    struct Result
    {
        bool started = false;
        bool finished = false;
        int exitCode = -1;
        QByteArray standardOutput;
        QByteArray standardError;
        QString errorText; // the process library's description when it did not start or finish

        bool succeeded() const { return finished && exitCode == 0; }
    };

    // Runs the command and judges it; a command that cannot start or outlives its limit counts as
    // timed out ("<tag> 命令执行超时:"), a non-zero exit logs its code and standard error.
    static bool run(const QString &tag, const QString &program, const QStringList &arguments,
                    int timeoutMs = defaultTimeoutMs);

    // The same run without judging or logging, for callers that read the output themselves.
    // A command still running when the limit passes is killed.
    static Result execute(const QString &program, const QStringList &arguments, int timeoutMs);

    // The same two without blocking the caller: `done` gets the outcome from the event loop once the
    // command ends or its limit passes. The run belongs to `context`: gone with it, `done` never comes.
    static void executeAsync(const QString &program, const QStringList &arguments, int timeoutMs,
                             QObject *context, const std::function<void(const Result &)> &done);
    static void runAsync(const QString &tag, const QString &program, const QStringList &arguments,
                         int timeoutMs, QObject *context, const std::function<void(bool)> &done);

    // The command line handed over as it stands on Windows, for a program that parses its command line
    // itself (netsh): the arguments joined by blanks. Empty for the others, which get Qt's quoting of
    // separate arguments. Elsewhere every program gets the arguments as a list.
    static QString nativeArguments(const QString &program, const QStringList &arguments);

    // What the user is told when a long-running program (`name`: "XRay", "tun2socks") reports an error.
    static QString processErrorText(const QString &name, QProcess::ProcessError error);

private:
    static bool judge(const QString &tag, const QString &program, const Result &result);
};

} // namespace Tavorin::Api::Vpn
