#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace Tavorin::Api {

// One client per settings folder, so per user: a second start (a double click, an autostart entry)
// must not run a second engine beside the first, whose start-up repair would take the first's live
// connection for the leftovers of a dead run. The second start asks the first to come to the front
// and leaves without touching anything.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the client of its settings folder. False when another one runs:
    // it has been asked to show its window, and this process should end.
    bool claim();

signals:
    // Another start of the client asked for the window.
    void activationRequested();

private:
    enum class Answer { Shown, Silent, NotListening };

    void listen();
    Answer askToShow(int limitMs) const;
    static QString serverName(const QString &folder);

    // How long a client that has taken the request may take to answer it.
    static constexpr int answerLimitMs = 3000;
    // How long a second start waits for a holder of the lock that does not listen: one that is still
    // starting, or one that is leaving and may take its connection down first (the goodbye, the
    // proxy's and the core's stops).
    static constexpr int takeoverLimitMs = 15000;

    QString folder;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
};

} // namespace Tavorin::Api
