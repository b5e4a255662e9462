#pragma once

#include <QByteArray>
#include <QString>

// What a child process (a client the test started) logged, kept for the moment a check fails: a
// failed QVERIFY or QCOMPARE leaves the test function at once, and the destructor then prints the
// whole log, so that the reason a check failed is never lost with the process that knew it.
class ChildLog
{
public:
    explicit ChildLog(QString name);
    ~ChildLog();
    ChildLog(const ChildLog &) = delete;
    ChildLog &operator=(const ChildLog &) = delete;

    // Adds what the child wrote since the last call.
    void append(const QByteArray &text);
    const QString &text() const { return log; }
    bool contains(const QString &fragment) const { return log.contains(fragment); }
    qsizetype count(const QString &fragment) const { return log.count(fragment); }

private:
    QString name;
    QString log;
};
