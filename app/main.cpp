// Vantero's entry: the folder to open on, if one is named, and the automation servers of the
// platform. No environment variable or file is read.

#include "app/Application.h"
#include "ui/ApplicationSetup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#ifdef _WIN32
#include "mapinfo/com/ComAutomation.h"
#else
#include "mapinfo/dbus/DBusAutomation.h"
#endif

namespace {

// The folder named on the command line, or "" when there is none or it cannot be listed; that is
// said once on standard error, and the program starts as without one.
std::string startFolder(const QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Packs MapInfo Professional tables in batch."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QCoreApplication::translate("main", "folder"),
                                 QCoreApplication::translate("main", "The folder to open on."),
                                 QStringLiteral("[folder]"));
    parser.process(application);
    const QStringList folders = parser.positionalArguments();
    if (folders.isEmpty())
        return {};
    const QFileInfo folder(folders.constFirst());
    if (!folder.isDir() || !folder.isReadable() || !folder.isExecutable()) {
        QTextStream(stderr) << QCoreApplication::translate("main",
                                                           "vantero: cannot open the folder %1; "
                                                           "starting without it\n")
                                   .arg(folders.constFirst());
        return {};
    }
    return QFile::encodeName(folder.absoluteFilePath()).toStdString();
}

} // namespace

int main(int argc, char** argv) {
    // On Windows the application object initialises COM for this thread as a single-threaded
    // apartment, as an automation client needs.
    QApplication application(argc, argv);
    vantero::setUpApplication();
    std::string folder = startFolder(application);
#ifdef _WIN32
    vantero::ComAutomationFactory servers;
#else
    vantero::DBusAutomationFactory servers(QDBusConnection::sessionBus());
#endif
    return vantero::Application(servers, std::move(folder)).run();
}
