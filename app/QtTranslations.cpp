#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Tavorin::Api {

QTranslator *installQtTranslations(QCoreApplication &application, const QLocale &locale)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qt" is Qt's catalogue of catalogues: it brings the translations of every Qt module with it.
    for (const QLocale &candidate : {locale, QLocale(QLocale::Chinese, QLocale::China)}) {
        auto *translator = new QTranslator(&application);
        if (translator->load(candidate, QStringLiteral("qt"), QStringLiteral("_"), folder)) {
            application.installTranslator(translator);
            return translator;
        }
        delete translator;
    }
    qWarning().noquote() << "未找到Qt翻译:" << folder;
    return nullptr;
}

} // namespace Tavorin::Api
