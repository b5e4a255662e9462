#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace Tavorin::Testing {

// Records every message logged while the QML tests run (console.log included) and still prints it,
// so a test can check what a component wrote and, as important, what it never wrote.
// Published to QML as `QmlLog`.
class QmlLog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList lines READ lines)

public:
    explicit QmlLog(QObject *parent = nullptr);
    ~QmlLog() override;

    QStringList lines() const;
    // Forgets the lines so far and makes sure the recorder sees the next ones: call it before them.
    Q_INVOKABLE void clear();
    // Whether any line recorded since the last clear() contains the fragment.
    Q_INVOKABLE bool contains(const QString &fragment) const;
    // Index of the first line since the last clear() that contains the fragment, -1 when none does.
    Q_INVOKABLE int indexOf(const QString &fragment) const;
    // Every line since the last clear() that contains the fragment, so that a check for none names them.
    Q_INVOKABLE QStringList linesContaining(const QString &fragment) const;

private:
    void install();
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QtMessageHandler previous;
};

} // namespace Tavorin::Testing
