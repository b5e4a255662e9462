#include "vpn/CommandRunner.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <memory>

#if defined(Q_OS_WIN)
#include "api/win32/Win32System.h"
#endif

namespace Tavorin::Api::Vpn {

namespace {

// Every command starts here: by its place in the system folder on Windows, where CreateProcess would
// otherwise look in the application's folder and the current folder first (a planted netsh.exe), and
// with the command line netsh documents, which Qt's quoting of separate arguments would garble.
void startCommand(QProcess &process, const QString &program, const QStringList &arguments)
{
#if defined(Q_OS_WIN)
    // The system's own commands, which the engine names bare.
    static const QStringList systemCommands{QStringLiteral("reg"), QStringLiteral("netsh"),
                                            QStringLiteral("setx"), QStringLiteral("tasklist"),
                                            QStringLiteral("taskkill")};
    QString path = program;
    if (systemCommands.contains(program)) {
        if (const std::optional<std::wstring> folder = Win32::systemDirectory())
            path = QString::fromStdWString(*folder) + QLatin1Char('\\') + program + QStringLiteral(".exe");
    }
    const QString native = CommandRunner::nativeArguments(program, arguments);
    if (!native.isEmpty()) {
        process.setProgram(path);
        process.setNativeArguments(native);
        process.start(QIODevice::ReadWrite);
        return;
    }
    process.start(path, arguments, QIODevice::ReadWrite);
#else
    process.start(program, arguments, QIODevice::ReadWrite);
#endif
}

// The outcome of a command that ran to its end (a crash included).
CommandRunner::Result endedRun(QProcess &process)
{
    CommandRunner::Result result;
    result.started = true;
    result.finished = true;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

} // namespace

CommandRunner::Result CommandRunner::execute(const QString &program, const QStringList &arguments,
                                             int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    startCommand(process, program, arguments);
    // The commands read nothing; a closed input keeps one that asks a question from waiting for it.
    process.closeWriteChannel();
    Result result;
    result.started = process.waitForStarted(timeoutMs);
    if (result.started && process.waitForFinished(qMax<qint64>(1, timeoutMs - clock.elapsed())))
        return endedRun(process);
    result.errorText = process.errorString();
    process.kill();
    process.waitForFinished(1000);
    return result;
}

void CommandRunner::executeAsync(const QString &program, const QStringList &arguments, int timeoutMs,
                                 QObject *context, const std::function<void(const Result &)> &done)
{
    auto *process = new QProcess(context);
    auto *limit = new QTimer(process);
    limit->setSingleShot(true);
    auto settled = std::make_shared<bool>(false);
    const auto settle = [process, settled, done](const Result &result) {
        if (*settled)
            return;
        *settled = true;
        QObject::disconnect(process, nullptr, nullptr, nullptr);
        process->deleteLater();
        done(result);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, settle]() { settle(endedRun(*process)); });
    // A crash ends with `finished` as well; only a command that never ran ends here.
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, settle](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         Result result;
                         result.errorText = process->errorString();
                         settle(result);
                     });
    QObject::connect(limit, &QTimer::timeout, process, [process, settle]() {
        Result result;
        result.started = true;
        result.errorText = QStringLiteral("Process operation timed out");
        process->kill();
        settle(result);
    });
    startCommand(*process, program, arguments);
    process->closeWriteChannel();
    limit->start(timeoutMs);
}

void CommandRunner::runAsync(const QString &tag, const QString &program, const QStringList &arguments,
                             int timeoutMs, QObject *context, const std::function<void(bool)> &done)
{
    executeAsync(program, arguments, timeoutMs, context,
                 [tag, program, done](const Result &result) { done(judge(tag, program, result)); });
}

bool CommandRunner::run(const QString &tag, const QString &program, const QStringList &arguments,
                        int timeoutMs)
{
    return judge(tag, program, execute(program, arguments, timeoutMs));
}

bool CommandRunner::judge(const QString &tag, const QString &program, const Result &result)
{
    if (!result.finished) {
        qWarning().noquote() << tag << "命令执行超时:" << program;
        return false;
    }
    if (result.exitCode != 0) {
        qWarning().noquote() << tag << "命令执行失败, 退出码:" << result.exitCode;
        qWarning().noquote() << tag << "错误输出:" << QString::fromLocal8Bit(result.standardError).trimmed();
        return false;
    }
    return true;
}

QString CommandRunner::nativeArguments(const QString &program, const QStringList &arguments)
{
    // netsh reads its own quotes: proxy-server="socks=127.0.0.1:10315" must reach it as written, where
    // Qt's quoting for the C runtime's rules would hand it proxy-server=\"socks=127.0.0.1:10315\". None
    // of its arguments holds a blank, so the blanks between them are the only separators.
    if (program != QLatin1String("netsh"))
        return {};
    return arguments.join(QLatin1Char(' '));
}

QString CommandRunner::processErrorText(const QString &name, QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart:
        return QStringLiteral("%1启动失败，请检查文件是否存在").arg(name);
    case QProcess::Crashed:
        return QStringLiteral("%1进程崩溃").arg(name);
    case QProcess::Timedout:
        return QStringLiteral("%1进程超时").arg(name);
    case QProcess::ReadError:
        return QStringLiteral("%1进程读取错误").arg(name);
    case QProcess::WriteError:
        return QStringLiteral("%1进程写入错误").arg(name);
    default:
        return QStringLiteral("%1未知错误").arg(name);
    }
}

} // namespace Tavorin::Api::Vpn
