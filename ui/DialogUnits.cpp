#include "ui/DialogUnits.h"

#include "ui/FontPreload.h"

#include <QFontMetrics>
#include <QHash>
#include <QStringList>

DialogUnits::DialogUnits(const QFont& dialogFont)
{
    const QFontMetrics metrics(dialogFont);
    const int alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (alphabet / 26 + 1) / 2;
    baseY_ = metrics.height();
}

namespace fonts
{

namespace
{
QStringList withTwin(const QString& family)
{
    if (family == u"Calibri")
        return {family, QStringLiteral("Carlito")};
    if (family == u"Arial")
        return {family, QStringLiteral("Liberation Sans")};
    return {family};
}
} // namespace

QFont dialog()
{
    awaitConfiguration();
    QFont font;
    font.setFamilies(withTwin(QStringLiteral("Calibri")));
    font.setPixelSize(15); // 11 points at 96 dots per inch
    return font;
}

QFont withCellHeight(const QString& family, int cellPixels, int weight)
{
    // Each size tried loads a font engine, and the window asks for the same few fonts dozens
    // of times while it is built. Widgets live on one thread, so one cache serves them all.
    static QHash<QString, QFont> made;
    const QString key = QStringLiteral("%1/%2/%3").arg(family).arg(cellPixels).arg(weight);
    if (const auto found = made.constFind(key); found != made.cend())
        return *found;
    awaitConfiguration();
    QFont font;
    font.setFamilies(withTwin(family));
    font.setWeight(static_cast<QFont::Weight>(weight));
    int pixels = cellPixels;
    font.setPixelSize(pixels);
    while (pixels > 6 && QFontMetrics(font).height() > cellPixels)
        font.setPixelSize(--pixels);
    made.insert(key, font);
    return font;
}

} // namespace fonts
