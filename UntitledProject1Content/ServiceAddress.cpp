#include "ServiceAddress.h"

#include "BuildConfig.h"

QString ServiceAddress::apiBaseUrl() const
{
    return Tavorin::BuildConfig::apiBaseUrl();
}
