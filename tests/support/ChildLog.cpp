#include "ChildLog.h"

#include <QTest>

#include <utility>

ChildLog::ChildLog(QString childName) : name(std::move(childName)) {}

ChildLog::~ChildLog()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << "---- what" << name << "logged:\n" << log << "\n---- end of" << name << "log";
}

void ChildLog::append(const QByteArray &text)
{
    log += QString::fromUtf8(text);
}
