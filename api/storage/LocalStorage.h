#pragma once

#include <QObject>
#include <QString>

class QSettings;

namespace Tavorin::Api::Storage {

// The program's only persistent store: one INI file in the user's application-data folder.
class LocalStorage : public QObject
{
    Q_OBJECT

public:
    static LocalStorage *instance();
    // The user's application-data folder that holds the file, made (readable by its owner only) when
    // it is not there yet.
    static QString folderPath();
    ~LocalStorage() override;

    QString getString(const QString &key, const QString &defaultValue = {}) const;
    int getInt(const QString &key, int defaultValue = 0) const;
    void setString(const QString &key, const QString &value);
    void setBool(const QString &key, bool value);
    void remove(const QString &key);

    QString filePath() const;

signals:
    void valueChanged(const QString &key);

private:
    explicit LocalStorage(QObject *parent = nullptr);
    void writeThrough();

    QSettings *settings;
};

} // namespace Tavorin::Api::Storage
