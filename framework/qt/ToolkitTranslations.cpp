// Loads qtbase's Simplified Chinese catalogue from the toolkit's translations folder, whatever the
// system locale says: every text of the program is Chinese, so its standard dialogs must be too.
#include "framework/ToolkitTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "framework/ConsoleDiagnostics.h"

namespace {

constexpr const char* kCatalogue = "qtbase_zh_CN";
// Marks the translator this code installed, so a second call on the same application does nothing.
constexpr const char* kTranslatorName = "orvane-toolkit-translations";

}  // namespace

bool AfxLoadToolkitTranslations() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        return false;
    if (app->findChild<QTranslator*>(QLatin1String(kTranslatorName), Qt::FindDirectChildrenOnly) != nullptr)
        return true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(app);
    translator->setObjectName(QLatin1String(kTranslatorName));
    if (!translator->load(QLatin1String(kCatalogue), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        ConsoleErr(CString((QStringLiteral("QTranslator::load: cannot load %1 from %2")
                                .arg(QLatin1String(kCatalogue), folder))
                               .toStdWString()));
        return false;
    }
    return true;
}
