#include "api/services/AnnouncementService.h"

#include "api/models/JsonReader.h"
#include "api/network/ApiResponse.h"
#include "api/network/HttpClient.h"

#include <QDebug>

namespace Tavorin::Api::Services {

using Network::ApiResponse;
using Network::HttpClient;

AnnouncementService *AnnouncementService::instance()
{
    static AnnouncementService *service = new AnnouncementService();
    return service;
}

AnnouncementService::AnnouncementService(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<Models::Announcement>();
    qRegisterMetaType<QList<Models::Announcement>>();
    qDebug().noquote() << "[AnnouncementService] 初始化完成";
}

void AnnouncementService::getAnnouncements(const QString &platform, int limit,
                                           const AnnouncementListCallback &completion)
{
    qDebug().noquote() << "[AnnouncementService] 获取公告列表, 平台:" << platform;
    QMap<QString, QString> query;
    query.insert(QStringLiteral("platform"), platform);
    if (limit > 0)
        query.insert(QStringLiteral("limit"), QString::number(limit));
    HttpClient::instance()->getWithoutAuth(
        QStringLiteral("announcements"),
        [this, completion](const ApiResponse &response) {
            if (!response.isSuccess()) {
                const QString message = response.getErrorMessage();
                if (completion)
                    completion(false, message, {});
                qWarning().noquote() << "[AnnouncementService] 获取公告列表失败:" << message;
                return;
            }
            QList<Models::Announcement> announcements;
            const QList<QJsonObject> elements =
                Models::JsonReader::objects(response.json, QStringLiteral("data"));
            for (const QJsonObject &element : elements)
                announcements.append(Models::Announcement::fromJson(element));
            if (!cachedAnnouncements.isEmpty() && !announcements.isEmpty() &&
                announcements.first().id > cachedAnnouncements.first().id)
                emit newAnnouncementReceived(announcements.first());
            cachedAnnouncements = announcements;
            if (completion)
                completion(true, QStringLiteral("获取成功"), announcements);
            emit announcementsUpdated(announcements);
            qDebug().noquote() << "[AnnouncementService] 公告列表获取成功, 数量:" << announcements.size();
        },
        query);
}

} // namespace Tavorin::Api::Services
