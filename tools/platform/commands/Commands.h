#pragma once

#include <QString>
#include <QStringList>

// The Windows commands the client runs, each as a function of its argument list returning the exit code.
namespace Standin::Commands {

int reg(const QStringList &arguments);
int netsh(const QStringList &arguments);
int setx(const QStringList &arguments);
int tasklist(const QStringList &arguments);
int taskkill(const QStringList &arguments);

// Text for the caller, as the Windows programs print it (lines end in "\n").
void printOut(const QString &text);
void printError(const QString &text);

} // namespace Standin::Commands
