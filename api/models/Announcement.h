#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace Tavorin::Api::Models {

// One announcement of the service.
struct Announcement
{
    int id = 0;
    QString title;
    QString content;
    QString type;
    QDateTime publishedAt;
    QDateTime createdAt;

    static Announcement fromJson(const QJsonObject &json);
};

} // namespace Tavorin::Api::Models

Q_DECLARE_METATYPE(Tavorin::Api::Models::Announcement)
