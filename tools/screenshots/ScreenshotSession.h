#pragma once

#include <QDir>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class QQmlApplicationEngine;
class QQuickWindow;

namespace Tavorin::Testing {
class FakeApi;
class FakeApiControl;
} // namespace Tavorin::Testing

namespace Tavorin::Tools {

// Walks the window through its main states, one step after the other on the event loop, and saves a
// frame of each as <name>.png. Ends the application with 0 when every frame was written.
class ScreenshotSession : public QObject
{
    Q_OBJECT

public:
    ScreenshotSession(QQmlApplicationEngine *engine, Testing::FakeApi *api, Testing::FakeApiControl *control,
                      const QDir &outputDir, QObject *parent = nullptr);

    void start();

private:
    struct Step
    {
        int delayMs;                  // wait after the previous step before this one runs
        std::function<void()> action; // drives the fake into the state
        QString shot;                 // frame to grab after the action, empty for none
    };

    void runStep(int index);
    void grab(const QString &name);
    QQuickWindow *window() const;
    void emitSignal(const char *signal, const QVariantList &args = {});
    void appendStoreSteps();
    void appendLongTextSteps();
    QList<Step> listPageSteps(const char *pageProperty, const char *listSignal, const QVariantList &list,
                              const QString &shot);
    // Pushes the window page held by the named property, or pops the top one, with the log line the
    // window's own route would write.
    void openPage(const char *pageProperty, const QString &logLine = {});
    void closePage(const QString &logLine = QStringLiteral("[Screenshots] 返回"));
    void closeDialog();
    void signInAsVip();

    QQmlApplicationEngine *engine;
    Testing::FakeApi *api;
    Testing::FakeApiControl *control;
    QDir outputDir;
    QList<Step> steps;
    int failures = 0;
};

} // namespace Tavorin::Tools
