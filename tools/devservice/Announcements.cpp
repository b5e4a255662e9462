#include "Announcements.h"

#include "Validation.h"
#include "WireFormat.h"

#include <QJsonArray>

namespace MirevoDev {

void Announcements::reset()
{
    entries.clear();
    nextId = 1;
    const struct
    {
        const char *title;
        const char *content;
        const char *type;
        const char *platform;
        int daysAgo;
    } seeds[] = {{"欢迎使用Mirevo加速器", "感谢您的支持，新用户可领取免费体验时长。", "info", "all", 20},
                 {"新增日本节点", "日本东京节点已上线，欢迎体验。", "update", "all", 10},
                 {"Windows客户端更新", "Windows客户端已更新到1.0.0版本。", "info", "windows", 3},
                 {"年度会员限时优惠", "年度会员限时特价128元。", "promotion", "all", 1}};
    const QDateTime start = WireFormat::now();
    for (const auto &seed : seeds)
        append(QString::fromUtf8(seed.title), QString::fromUtf8(seed.content), QString::fromLatin1(seed.type),
               QString::fromLatin1(seed.platform), start.addDays(-seed.daysAgo));
}

void Announcements::append(const QString &title, const QString &content, const QString &type,
                           const QString &platform, const QDateTime &createdAt)
{
    Announcement announcement;
    announcement.id = nextId++;
    announcement.title = title;
    announcement.content = content;
    announcement.type = type;
    announcement.platform = platform;
    announcement.createdAt = createdAt;
    announcement.publishedAt = createdAt;
    entries.append(announcement);
}

DevReply Announcements::list(const QUrlQuery &query) const
{
    const QString platform = query.queryItemValue(QStringLiteral("platform"), QUrl::FullyDecoded);
    int limit = 0;
    if (!WireFormat::queryInteger(query, QStringLiteral("limit"), 0, &limit) || limit < 0)
        return Validation::single(QStringLiteral("limit"), QStringLiteral("数量必须是非负整数"));
    QJsonArray list;
    // Newest first: the first element is the one a client compares to spot a new announcement.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        if (!platform.isEmpty() && it->platform != QLatin1String("all") && it->platform != platform)
            continue;
        if (limit > 0 && list.size() >= limit)
            break;
        list.append(QJsonObject{{QStringLiteral("id"), it->id},
                                {QStringLiteral("title"), it->title},
                                {QStringLiteral("content"), it->content},
                                {QStringLiteral("type"), it->type},
                                {QStringLiteral("platform"), it->platform},
                                {QStringLiteral("published_at"), WireFormat::isoOrNull(it->publishedAt)},
                                {QStringLiteral("created_at"), WireFormat::isoOrNull(it->createdAt)}});
    }
    return DevReply::success(QStringLiteral("获取成功"), list);
}

QString Announcements::add(const QJsonObject &announcement, int *id)
{
    const QString title = announcement.value(QStringLiteral("title")).toString();
    if (title.isEmpty())
        return QStringLiteral("an announcement needs a title");
    append(title, announcement.value(QStringLiteral("content")).toString(),
           announcement.value(QStringLiteral("type")).toString(QStringLiteral("info")),
           announcement.value(QStringLiteral("platform")).toString(QStringLiteral("all")), WireFormat::now());
    *id = entries.last().id;
    return {};
}

} // namespace MirevoDev
