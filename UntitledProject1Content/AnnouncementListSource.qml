import QtQuick

// Feeds the announcement list form with every list API delivers, whoever asked for it.
Item {
    id: source

    property ListModel model: ListModel {}

    function isValidDate(value) {
        return value instanceof Date && !isNaN(value.getTime())
    }

    function iconOf(type) {
        if (type === "maintenance")
            return "🔧"
        if (type === "update")
            return "🚀"
        if (type === "activity")
            return "🎉"
        return "📢"
    }

    visible: false

    Connections {
        target: typeof API !== "undefined" ? API : null
        ignoreUnknownSignals: true

        function onAnnouncementsLoaded(announcements) {
            console.log("✅ 公告列表加载成功，数量:", announcements.length)
            source.model.clear()
            for (let i = 0; i < announcements.length; ++i) {
                const entry = announcements[i]
                const invalid = new Date(NaN)
                const published = source.isValidDate(entry.publishedAt) ? entry.publishedAt : invalid
                const created = source.isValidDate(entry.createdAt) ? entry.createdAt : invalid
                source.model.append({
                                        "id": Number(entry.id) || 0,
                                        "title": entry.title ? String(entry.title) : "",
                                        "content": entry.content ? String(entry.content) : "",
                                        "type": entry.type ? String(entry.type) : "",
                                        "publishedAt": published,
                                        "createdAt": created,
                                        // The publication time, else the creation time.
                                        "shownDate": source.isValidDate(published) ? published : created,
                                        "icon": source.iconOf(entry.type)
                                    })
            }
        }

        function onAnnouncementsError(message) {
            console.log("❌ 公告列表加载失败:", message)
        }
    }
}
