// The dialog font and dialog-unit conversion.
#include "framework/qt/DialogUnits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdlib>

namespace {

constexpr int kScreenDpi = 96;
constexpr int kPointsPerInch = 72;

QString ChooseFamily(const QString& requested) {
    const QStringList families = QFontDatabase::families();
    if (families.contains(requested))
        return requested;
    // Windows' Song face under its other names, then the Song-style faces other systems ship.
    for (const char* name : {"SimSun", "NSimSun", "AR PL UMing CN", "AR PL UMing TW", "AR PL SungtiL GB"}) {
        if (families.contains(QString::fromLatin1(name)))
            return QString::fromLatin1(name);
    }
    for (const QString& family : families) {
        if (family.contains(QLatin1String("UMing"), Qt::CaseInsensitive))
            return family;
    }
    for (const QString& family : families) {
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
            return family;
    }
    return requested;
}

}  // namespace

QFont DialogUnits::DialogFont(const wchar_t* faceName, int pointSize, int weight) {
    QString requested = QString::fromWCharArray(faceName ? faceName : L"");
    QFont font(ChooseFamily(requested));
    font.setPixelSize(MulDiv(pointSize > 0 ? pointSize : 9, kScreenDpi, kPointsPerInch));
    if (weight > 0 && weight <= 1000)
        font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleStrategy(QFont::PreferDefault);
    return font;
}

DialogBaseUnits DialogUnits::BaseUnits(const QFont& font) {
    QFontMetrics metrics(font);
    const int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogBaseUnits units;
    units.x = (width / 26 + 1) / 2;
    units.y = metrics.height();
    return units;
}

int DialogUnits::MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    long long product = static_cast<long long>(number) * numerator;
    long long half = std::llabs(static_cast<long long>(denominator)) / 2;
    bool negative = (product < 0) != (denominator < 0);
    long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
    return static_cast<int>(negative ? -magnitude : magnitude);
}

QRect DialogUnits::MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy) {
    return QRect(MulDiv(x, units.x, 4), MulDiv(y, units.y, 8), MulDiv(cx, units.x, 4),
                 MulDiv(cy, units.y, 8));
}
