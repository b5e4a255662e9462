#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// The core stand-in started as the client starts it: `run -c FILE --disable-color` with a document
// written to the temporary folder.
class CoreProcess
{
public:
    ~CoreProcess();

    // Waits for its "core started" line; false when it ended (or hung) first.
    bool start(const QJsonObject &document);
    QString output();
    QString errors();
    // The v2ray child the core reported starting.
    qint64 v2rayPid();

    static QString path();
    // The client's command line for `document`, written to a file of its own.
    static QStringList runArguments(const QJsonObject &document);

    QProcess process;

private:
    QString out;
    QString err;
};
