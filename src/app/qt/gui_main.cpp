// velmora: the desktop program.

#include <QApplication>
#include <QCommandLineParser>

#include "app/qt/velmora_app.h"
#include "app/qt/velmora_dialog.h"
#include "app/session.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "platform/module_folder.h"
#include "platform/program_folder.h"
#include "sysfiles/app_state.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral("1.10"));
    QApplication::setWindowIcon(velmora::ProgramIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes actuator parameters and step data into a motor controller."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption root(QStringLiteral("root"),
                                  QStringLiteral("Program folder holding System/ (default: the "
                                                 "program's folder, or the per-user data folder "
                                                 "when that is read-only)."),
                                  QStringLiteral("folder"));
    parser.addOption(root);
    parser.process(application);

    std::string folder = parser.isSet(root)
                             ? parser.value(root).toStdString()
                             : velmora::ResolveProgramFolder(velmora::ModuleFolderOfExecutable());
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    velmora::App().moduleFolder = folder;

    velmora::InstallKeySwallower(application);
    {
        velmora::Session session;
        velmora::CVelmoraApp program(session);
        program.Run();
    }
    velmora::StopVirtualController();
    return 0;
}
