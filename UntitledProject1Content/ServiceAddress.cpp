#include "ServiceAddress.h"

#include "BuildConfig.h"

QString ServiceAddress::apiBaseUrl() const
{
    return QString::fromUtf8(Tavorin::BuildConfig::apiBaseUrl);
}
