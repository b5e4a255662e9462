#pragma once

#include "DevReply.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrlQuery>

namespace MirevoDev {

// The announcements: newest first, kept to a platform (and those for "all") and cut to a limit on request.
class Announcements
{
public:
    Announcements() { reset(); }
    // The seeded announcements.
    void reset();

    DevReply list(const QUrlQuery &query) const;
    // Control: adds one (title, content, type, platform); answers an error text, empty on success.
    QString add(const QJsonObject &announcement, int *id);

private:
    struct Announcement
    {
        int id = 0;
        QString title;
        QString content;
        QString type;
        QString platform;
        QDateTime publishedAt;
        QDateTime createdAt;
    };

    void append(const QString &title, const QString &content, const QString &type, const QString &platform,
                const QDateTime &createdAt);

    QList<Announcement> entries;
    int nextId = 1;
};

} // namespace MirevoDev
