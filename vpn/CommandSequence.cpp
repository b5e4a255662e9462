#include "vpn/CommandSequence.h"

#include "vpn/CommandRunner.h"

#include <QPointer>

#include <memory>

namespace Tavorin::Api::Vpn {

namespace {

// One run in the background: each command's end starts the next one.
class BackgroundRun : public std::enable_shared_from_this<BackgroundRun>
{
public:
    BackgroundRun(const QString &runTag, int limitMs, QObject *owner, QList<CommandSequence::Step> remaining,
                  std::function<void()> whenDone)
        : tag(runTag), timeoutMs(limitMs), context(owner), steps(std::move(remaining)),
          done(std::move(whenDone))
    {}

    void advance()
    {
        while (!steps.isEmpty() && steps.first().wanted && !steps.first().wanted())
            steps.removeFirst();
        if (steps.isEmpty() || !context) {
            if (done && context)
                done();
            return;
        }
        const CommandSequence::Step step = steps.takeFirst();
        if (step.starting)
            step.starting();
        auto self = shared_from_this();
        CommandRunner::runAsync(tag, step.program, step.arguments, timeoutMs, context,
                                [self, step](bool succeeded) {
                                    if (step.finished)
                                        step.finished(succeeded);
                                    self->advance();
                                });
    }

private:
    QString tag;
    int timeoutMs;
    QPointer<QObject> context;
    QList<CommandSequence::Step> steps;
    std::function<void()> done;
};

} // namespace

CommandSequence::CommandSequence(const QString &sequenceTag, int limitMs)
    : tag(sequenceTag), timeoutMs(limitMs)
{}

CommandSequence &CommandSequence::then(const Step &step)
{
    steps.append(step);
    return *this;
}

CommandSequence &CommandSequence::then(const CommandSequence &more)
{
    steps.append(more.steps);
    return *this;
}

void CommandSequence::runBlocking() const
{
    for (const Step &step : steps) {
        if (step.wanted && !step.wanted())
            continue;
        if (step.starting)
            step.starting();
        const bool succeeded = CommandRunner::run(tag, step.program, step.arguments, timeoutMs);
        if (step.finished)
            step.finished(succeeded);
    }
}

void CommandSequence::runInBackground(QObject *context, const std::function<void()> &done) const
{
    std::make_shared<BackgroundRun>(tag, timeoutMs, context, steps, done)->advance();
}

} // namespace Tavorin::Api::Vpn
