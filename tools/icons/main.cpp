// orvane-icon-export: writes the application icon, as the program draws it, into an icon-theme
// tree (<folder>/hicolor/<n>x<n>/apps/orvane.png), one PNG for every size the program draws.
// Run at build time so that the installed icons can never drift from the window's own.
#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstring>

#include "ui/Resources.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane-icon-export <output folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const IconImage& icon : DrawApplicationIcon()) {
        QImage picture(icon.size, icon.size, QImage::Format_ARGB32);
        for (int y = 0; y < icon.size; ++y) {
            std::memcpy(picture.scanLine(y), icon.argb.data() + static_cast<size_t>(y) * icon.size,
                        static_cast<size_t>(icon.size) * sizeof(uint32_t));
        }
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(icon.size);
        const QString path = folder + QStringLiteral("/orvane.png");
        if (!QDir().mkpath(folder) || !picture.save(path, "PNG")) {
            std::fprintf(stderr, "orvane-icon-export: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
