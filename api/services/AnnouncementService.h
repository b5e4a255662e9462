#pragma once

#include "api/models/Announcement.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace Tavorin::Api::Services {

using AnnouncementListCallback = std::function<void(bool success, const QString &message,
                                                    const QList<Models::Announcement> &announcements)>;

// The service's announcements for one platform; tells when a newer one heads the list.
class AnnouncementService : public QObject
{
    Q_OBJECT

public:
    static AnnouncementService *instance();

    void getAnnouncements(const QString &platform, int limit, const AnnouncementListCallback &completion);
    QList<Models::Announcement> getCachedAnnouncements() const { return cachedAnnouncements; }

signals:
    void announcementsUpdated(const QList<Models::Announcement> &announcements);
    void newAnnouncementReceived(const Models::Announcement &announcement);

private:
    explicit AnnouncementService(QObject *parent = nullptr);

    QList<Models::Announcement> cachedAnnouncements;
};

} // namespace Tavorin::Api::Services
