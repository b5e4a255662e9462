// The vmess link parser, fed what a server entry's link may hold: the input as a link, and the input as
// the JSON inside a well-formed link. A parsed link must keep the parser's promises.
#include "FuzzSupport.h"
#include "vpn/VmessParser.h"

using Tavorin::Api::Vpn::VmessConfig;
using Tavorin::Api::Vpn::VmessParser;

namespace {
void check(const QString &link)
{
    try {
        const VmessConfig config = VmessParser::parse(link);
        if (config.address.isEmpty() || config.id.isEmpty() || config.port < 1 || config.port > 65535)
            Fuzz::fail("a parsed link without address, id or a valid port", link);
    } catch (const QString &) {
        // Refused with its message: what the connection reports to the user.
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    check(QString::fromUtf8(input));
    check(QStringLiteral("vmess://") + QString::fromLatin1(input.toBase64()));
    return 0;
}
