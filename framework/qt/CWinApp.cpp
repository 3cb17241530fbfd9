// CWinApp's Qt part: QApplication around the program's run, and Qt's event loop.
#include "framework/CWinApp.h"

#include <QApplication>
#include <QFileInfo>
#include <memory>

#include "framework/ToolkitTranslations.h"

int CWinApp::Run() {
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::exec();
    return ExitInstance();
}

CString CWinApp::ExecutableTitle() {
    const QString path =
        QCoreApplication::instance() != nullptr ? QCoreApplication::applicationFilePath() : QString();
    return CString(QFileInfo(path).completeBaseName().toStdWString());
}

void CWinApp::RegisterWithRestartManager() {
    // Desktop sessions on Linux restart nothing that did not ask its session manager, and the
    // program keeps no state to restore.
}

int CWinApp::StartAndRun(int argc, char** argv) {
    // A host that already runs the toolkit (a test, the command-line tool) keeps its application.
    int qtArgc = argc;
    std::unique_ptr<QApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QApplication>(qtArgc, argv);
    AfxLoadToolkitTranslations();
    return RunInstance();
}
