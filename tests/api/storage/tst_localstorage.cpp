#include "api/storage/LocalStorage.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using Tavorin::Api::Storage::LocalStorage;

namespace {
const char *childFlag = "--write-and-exit";
const QString cachedConfig = QStringLiteral("{\"a\":\"x, \\\"quoted\\\"\",\"b\":[1,2],\"c\":\"中文\"}");

// Run as a second process: write through the store and exit normally, as the client does.
int writeAndExit()
{
    LocalStorage *storage = LocalStorage::instance();
    storage->setString(QStringLiteral("auth_token"), QStringLiteral("t-1"));
    storage->setString(QStringLiteral("cached_configs"), cachedConfig);
    storage->setBool(QStringLiteral("vpn_encrypt_enabled"), true);
    storage->setString(QStringLiteral("device_id"), QStringLiteral("windows_0123"));
    delete storage; // what the end of the process does
    return 0;
}
} // namespace

class TestLocalStorage : public QObject
{
    Q_OBJECT

private slots:
    void defaultsOnAFreshMachine();
    void readsBackAtOnce_data();
    void readsBackAtOnce();
    void removeOfAbsentKeyStillSignals();
    void fileIsPrivate();
    void secondProcessReadsWhatTheFirstWrote();
};

void TestLocalStorage::defaultsOnAFreshMachine()
{
    LocalStorage *storage = LocalStorage::instance();
    QCOMPARE(storage->getString("auth_token"), QString());
    QCOMPARE(storage->getString("auth_token", "fallback"), QString("fallback"));
    QCOMPARE(storage->getInt("anything", 17), 17);
    QVERIFY(storage->filePath().endsWith("/tavorin_settings.ini"));
}

void TestLocalStorage::readsBackAtOnce_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("user info") << "user_info"
                               << R"({"id":1,"email":"a@b.c","name":"小明"})";
    QTest::newRow("json with quotes and commas") << "cached_configs" << cachedConfig;
    QTest::newRow("leading and trailing blanks") << "auth_token"
                                                 << "  tok  ";
    QTest::newRow("semicolons and equals") << "api_secret_key"
                                           << "a=b;c#d";
}

void TestLocalStorage::readsBackAtOnce()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QSignalSpy changed(LocalStorage::instance(), &LocalStorage::valueChanged);
    LocalStorage::instance()->setString(key, value);
    QCOMPARE(LocalStorage::instance()->getString(key), value);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), key);
}

void TestLocalStorage::removeOfAbsentKeyStillSignals()
{
    QSignalSpy changed(LocalStorage::instance(), &LocalStorage::valueChanged);
    LocalStorage::instance()->remove("never_written");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QString("never_written"));
}

void TestLocalStorage::fileIsPrivate()
{
    LocalStorage::instance()->setString("auth_token", "secret-token");
    const QFileInfo file(LocalStorage::instance()->filePath());
    QVERIFY(file.exists());
    QCOMPARE(file.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
             QFile::ReadOwner | QFile::WriteOwner);
    const QFileInfo folder(file.absolutePath());
    QCOMPARE(folder.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestLocalStorage::secondProcessReadsWhatTheFirstWrote()
{
    const QString path = LocalStorage::instance()->filePath();
    QFile::remove(path);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {childFlag});
    QVERIFY2(child.waitForFinished(60000), "the end of the child that writes the settings");
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    QSettings file(path, QSettings::IniFormat);
    QCOMPARE(file.value("auth_token").toString(), QString("t-1"));
    QCOMPARE(file.value("cached_configs").toString(), cachedConfig);
    QCOMPARE(file.value("vpn_encrypt_enabled").toString(), QString("true"));
    QCOMPARE(file.value("device_id").toString(), QString("windows_0123"));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], childFlag) == 0)
        return writeAndExit();
    TestLocalStorage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_localstorage.moc"
