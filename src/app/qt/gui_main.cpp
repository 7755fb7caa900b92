// velmora: the desktop program.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <string>
#include <string_view>

#include "app/qt/velmora_app.h"
#include "app/qt/velmora_dialog.h"
#include "app/session.h"
#include "comsetup/qt/com_setting_dlg.h"
#include "sysfiles/app_state.h"

namespace {

void Describe() {
    QCoreApplication::setApplicationName(QStringLiteral("velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.10"));
}

QCommandLineOption RootOption() {
    return QCommandLineOption(QStringLiteral("root"),
                              QStringLiteral("Program folder holding System/ (default: the "
                                             "program's folder, or the per-user data folder "
                                             "when that is read-only)."),
                              QStringLiteral("folder"));
}

void AddOptions(QCommandLineParser& parser, const QCommandLineOption& root) {
    parser.setApplicationDescription(
        QStringLiteral("Writes actuator parameters and step data into a motor controller."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(root);
}

// The options that print and end need no display: they are answered before QApplication,
// which aborts without one.
bool AsksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            return false;
        }
        if (arg == "--version" || arg == "-v" || arg == "--help" || arg == "-h" || arg == "-?" ||
            arg == "--help-all") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AsksForTextOnly(argc, argv)) {
        QCoreApplication application(argc, argv);
        Describe();
        QCommandLineParser parser;
        const QCommandLineOption root = RootOption();
        AddOptions(parser, root);
        parser.process(application);  // prints and exits
        return 0;
    }
    QApplication application(argc, argv);
    Describe();
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    QApplication::setWindowIcon(velmora::ProgramIcon());

    QCommandLineParser parser;
    const QCommandLineOption root = RootOption();
    AddOptions(parser, root);
    parser.process(application);

    velmora::UseProgramFolder(parser.isSet(root) ? parser.value(root).toStdString()
                                                 : std::string());

    velmora::InstallKeySwallower(application);
    {
        velmora::Session session;
        velmora::CVelmoraApp program(session);
        program.Run();
    }
    velmora::StopVirtualController();
    return 0;
}
