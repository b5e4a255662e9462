#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace Tavorin::Api::Vpn {

// Commands run one after the other, each judged and logged like CommandRunner::run. The same steps
// run blocking (while connecting and disconnecting) or in the background (at start-up, where the
// window must not wait for them).
class CommandSequence
{
public:
    struct Step
    {
        QString program;
        QStringList arguments;
        std::function<void()> starting;               // just before the command runs
        std::function<void(bool succeeded)> finished; // its result
        std::function<bool()> wanted;                 // asked just before: false skips the step
    };

    CommandSequence(const QString &tag, int timeoutMs);

    CommandSequence &then(const Step &step);
    CommandSequence &then(const CommandSequence &more);

    void runBlocking() const;
    // `done` comes from the event loop after the last step; the run belongs to `context`.
    void runInBackground(QObject *context, const std::function<void()> &done) const;

private:
    QString tag;
    int timeoutMs;
    QList<Step> steps;
};

} // namespace Tavorin::Api::Vpn
