#include "api/storage/LocalStorage.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace Tavorin::Api::Storage {

namespace {
// The file holds the bearer token and the service's keys: readable by its owner only.
constexpr QFile::Permissions folderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions fileMode = QFile::ReadOwner | QFile::WriteOwner;

QSettings *openSettings(QObject *parent)
{
    const QString path = LocalStorage::folderPath() + QStringLiteral("/tavorin_settings.ini");
    // Created empty with its final mode before the first secret goes in, so it is never readable by others.
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly)) {
        file.setPermissions(fileMode);
        file.close();
    }
    return new QSettings(path, QSettings::IniFormat, parent);
}
} // namespace

QString LocalStorage::folderPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir dir(folder);
    if (!dir.exists() && dir.mkpath(QStringLiteral(".")))
        QFile::setPermissions(folder, folderMode);
    return folder;
}

LocalStorage *LocalStorage::instance()
{
    static LocalStorage *storage = new LocalStorage();
    return storage;
}

LocalStorage::LocalStorage(QObject *parent) : QObject(parent), settings(openSettings(this))
{
    qDebug().noquote() << "[LocalStorage] 初始化完成, 存储路径:" << settings->fileName();
}

LocalStorage::~LocalStorage()
{
    writeThrough();
}

QString LocalStorage::getString(const QString &key, const QString &defaultValue) const
{
    return settings->value(key, QVariant(defaultValue)).toString();
}

int LocalStorage::getInt(const QString &key, int defaultValue) const
{
    return settings->value(key, QVariant(defaultValue)).toInt();
}

void LocalStorage::setString(const QString &key, const QString &value)
{
    settings->setValue(key, value);
    writeThrough();
    emit valueChanged(key);
}

void LocalStorage::setBool(const QString &key, bool value)
{
    settings->setValue(key, value);
    writeThrough();
    emit valueChanged(key);
}

void LocalStorage::remove(const QString &key)
{
    settings->remove(key);
    writeThrough();
    emit valueChanged(key);
}

QString LocalStorage::filePath() const
{
    return settings->fileName();
}

void LocalStorage::writeThrough()
{
    // Written at once rather than whenever Qt gets round to it: a sign-in must survive a crash, and
    // the file's mode is only ours to set once the file exists.
    settings->sync();
    if (QFile::exists(settings->fileName()) && QFile::permissions(settings->fileName()) != fileMode)
        QFile::setPermissions(settings->fileName(), fileMode);
}

} // namespace Tavorin::Api::Storage
