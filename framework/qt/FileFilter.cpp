// File-filter translation.
#include "framework/qt/FileFilter.h"

QStringList TranslateFileFilter(const wchar_t* filter) {
    QStringList result;
    if (filter == nullptr)
        return result;
    const QStringList parts = QString::fromWCharArray(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString display = parts[i].trimmed();
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty())
                patterns.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        // The bars stand for the NULs of the Windows string, so an empty field is the terminator.
        if (display.isEmpty() || patterns.isEmpty())
            break;
        result.append(display + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
    }
    return result;
}
