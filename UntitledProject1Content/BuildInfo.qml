pragma Singleton
import QtQuick
import UntitledProject1Content

// The service address the program names: the CMake cache variable MIREVO_API_BASE_URL for the client;
// for the demo client MIREVO_DEV_SERVICE_PORT, or the address scripts/run gives it at run time.
QtObject {
    id: buildInfo

    readonly property string apiBaseUrl: ServiceAddress.apiBaseUrl
    readonly property string serviceHost: buildInfo.hostOf(buildInfo.apiBaseUrl)

    // The host part of an absolute URL: no scheme, no user, no port, no path.
    function hostOf(url: string): string {
        let rest = url
        const scheme = rest.indexOf("://")
        if (scheme >= 0)
            rest = rest.substring(scheme + 3)
        const end = rest.search(/[\/?#]/)
        if (end >= 0)
            rest = rest.substring(0, end)
        const at = rest.lastIndexOf("@")
        if (at >= 0)
            rest = rest.substring(at + 1)
        if (rest.startsWith("[")) {
            const close = rest.indexOf("]")
            return close > 0 ? rest.substring(1, close) : rest
        }
        const colon = rest.indexOf(":")
        return colon >= 0 ? rest.substring(0, colon) : rest
    }
}
