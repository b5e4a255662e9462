#include "PaymentQrCode.h"

#include <QBuffer>
#include <QImage>

#include <qrcodegen/qrcodegen.hpp>

#include <stdexcept>

namespace MirevoDev {

QByteArray PaymentQrCode::png(const QString &text)
{
    try {
        const qrcodegen::QrCode code =
            qrcodegen::QrCode::encodeText(text.toUtf8().constData(), qrcodegen::QrCode::Ecc::MEDIUM);
        const int modules = code.getSize();
        const int side = (modules + 2 * borderModules) * modulePixels;
        QImage image(side, side, QImage::Format_Grayscale8);
        image.fill(255);
        for (int y = 0; y < modules; ++y) {
            for (int x = 0; x < modules; ++x) {
                if (!code.getModule(x, y))
                    continue;
                const int left = (x + borderModules) * modulePixels;
                const int top = (y + borderModules) * modulePixels;
                for (int dy = 0; dy < modulePixels; ++dy) {
                    uchar *line = image.scanLine(top + dy);
                    for (int dx = 0; dx < modulePixels; ++dx)
                        line[left + dx] = 0;
                }
            }
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            return {};
        return bytes;
    } catch (const std::exception &) {
        return {};
    }
}

QByteArray PaymentQrCode::paymentPage(const QString &orderId, const QString &planName, double amount,
                                      const QString &status, const QString &qrPath, const QString &actionPath)
{
    const QString order = orderId.toHtmlEscaped();
    QString page = QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                                  "<title>Mirevo 支付 %1</title></head><body>\n"
                                  "<h1>Mirevo加速器 订单支付</h1>\n"
                                  "<p>订单号: %1</p>\n<p>套餐: %2</p>\n<p>金额: ¥%3</p>\n"
                                  "<p>状态: <span id=\"status\">%4</span></p>\n"
                                  "<img src=\"%5\" alt=\"支付二维码\">\n")
                       .arg(order, planName.toHtmlEscaped(), QString::number(amount, 'f', 2),
                            status.toHtmlEscaped(), qrPath.toHtmlEscaped());
    if (status == QLatin1String("pending")) {
        page += QStringLiteral("<form method=\"post\" action=\"%1\">"
                               "<button name=\"status\" value=\"completed\">模拟支付成功</button> "
                               "<button name=\"status\" value=\"cancelled\">取消订单</button></form>\n")
                    .arg(actionPath.toHtmlEscaped());
    }
    page += QStringLiteral("</body></html>\n");
    return page.toUtf8();
}

} // namespace MirevoDev
