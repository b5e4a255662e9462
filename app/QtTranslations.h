#pragma once

class QCoreApplication;
class QLocale;
class QTranslator;

namespace Tavorin::Api {

// Installs Qt's own translations, which carry the texts Qt writes itself (a reply's error string such as
// "Connection refused", the standard buttons), for the given locale; when Qt ships none for it, for
// zh_CN, the language of the client's own texts. Returns the installed translator, a child of the
// application (deleting it uninstalls it), or nullptr when neither catalogue could be loaded.
QTranslator *installQtTranslations(QCoreApplication &application, const QLocale &locale);

} // namespace Tavorin::Api
