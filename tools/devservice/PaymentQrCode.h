#pragma once

#include <QByteArray>
#include <QString>

namespace MirevoDev {

// The picture a payment's "payment_url" serves: a QR code of the order's payment page, as PNG.
class PaymentQrCode
{
public:
    static constexpr int modulePixels = 8;
    static constexpr int borderModules = 4;

    // Empty when the text does not fit a QR code.
    static QByteArray png(const QString &text);
    static QByteArray paymentPage(const QString &orderId, const QString &planName, double amount,
                                  const QString &status, const QString &qrPath, const QString &actionPath);
};

} // namespace MirevoDev
