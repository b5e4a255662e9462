#include "api/storage/LocalStorage.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#if defined(Q_OS_WIN)
#include "api/win32/Win32System.h"
#endif

namespace Tavorin::Api::Storage {

namespace {
// The file holds the bearer token and the service's keys: readable by its owner only.
constexpr QFile::Permissions folderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions fileMode = QFile::ReadOwner | QFile::WriteOwner;

// On Windows a mode only toggles the read-only attribute, and what a file or folder inherits depends
// on the volume: each gets an owner-only DACL of its own instead.
void makePrivate(const QString &path, QFile::Permissions mode)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(mode);
    Win32::makeOwnerOnly(QDir::toNativeSeparators(path).toStdWString());
#else
    QFile::setPermissions(path, mode);
#endif
}

QSettings *openSettings(QObject *parent)
{
    const QString path = LocalStorage::folderPath() + QStringLiteral("/tavorin_settings.ini");
    // Created empty with its final protection before the first secret goes in, so it is never readable
    // by others.
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly)) {
        file.close();
        makePrivate(path, fileMode);
    }
    return new QSettings(path, QSettings::IniFormat, parent);
}
} // namespace

QString LocalStorage::folderPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir dir(folder);
    if (!dir.exists() && dir.mkpath(QStringLiteral(".")))
        makePrivate(folder, folderMode);
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
    const QString path = settings->fileName();
#if defined(Q_OS_WIN)
    // A sync writes a new file and renames it over this one (QSaveFile), and the rename takes the DACL
    // set before away with the old file: the new one, written in the owner-only folder, holds only
    // what it inherited from it, until it gets its own here.
    if (QFile::exists(path))
        makePrivate(path, fileMode);
#else
    if (QFile::exists(path) && QFile::permissions(path) != fileMode)
        makePrivate(path, fileMode);
#endif
}

} // namespace Tavorin::Api::Storage
