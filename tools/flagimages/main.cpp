#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSize>
#include <QSvgRenderer>

namespace {

// "32x24" -> QSize(32, 24); an invalid size for anything else.
QSize parseSize(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return {};
    bool widthOk = false;
    bool heightOk = false;
    const QSize size(parts.at(0).toInt(&widthOk), parts.at(1).toInt(&heightOk));
    return widthOk && heightOk && !size.isEmpty() ? size : QSize();
}

bool renderTo(QSvgRenderer &renderer, const QSize &size, const QString &path)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    if (!image.save(path, "PNG")) {
        qCritical().noquote() << "[FlagImages] 无法写入:" << path;
        return false;
    }
    return true;
}

} // namespace

// Build tool: renders country flags from SVG to PNG at the size the screens show them and at twice
// that, named <code>.png and <code>@2x.png, so an Image on a high-density screen picks the sharper one
// by itself.
//   mirevo_flag_images <svg folder> <output folder> <width>x<height> <code>...
int main(int argc, char *argv[])
{
    // Rendering needs no display: the build may run where there is none.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList arguments = app.arguments();
    const QSize size = arguments.size() > 3 ? parseSize(arguments.at(3)) : QSize();
    if (arguments.size() < 5 || !size.isValid()) {
        qCritical().noquote()
            << "usage: mirevo_flag_images <svg folder> <output folder> <width>x<height> <code>...";
        return 2;
    }
    const QDir svgDir(arguments.at(1));
    const QDir outputDir(arguments.at(2));
    if (!QDir().mkpath(outputDir.absolutePath())) {
        qCritical().noquote() << "[FlagImages] 无法创建目录:" << outputDir.absolutePath();
        return 1;
    }

    for (const QString &code : arguments.mid(4)) {
        const QString svgPath = svgDir.filePath(code + QStringLiteral(".svg"));
        QSvgRenderer renderer(svgPath);
        if (!renderer.isValid()) {
            qCritical().noquote() << "[FlagImages] 无法读取:" << svgPath;
            return 1;
        }
        if (!renderTo(renderer, size, outputDir.filePath(code + QStringLiteral(".png"))) ||
            !renderTo(renderer, size * 2, outputDir.filePath(code + QStringLiteral("@2x.png"))))
            return 1;
    }
    return 0;
}
