#include "app/ProductInfo.h"
#include "app/VinteloApp.h"
#include "platform/LogSwitch.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

namespace {

const char *const kHelp
    = "usage: clipwright [FILE]\n"
      "       clipwright --help | --version\n"
      "\n"
      "Opens the Clipwright window, with the video FILE opened when one is given (a file\n"
      "name that starts with \"-\" follows \"--\"). Mark a start and an end in the preview and\n"
      "convert that section into a new file. Converting without a window: clipwright-cli.\n"
      "\n"
      "  -h, --help     this text\n"
      "  --version      the program's version\n"
      "\n"
      "The window's usual Qt options (-style, -platform, ...) are taken too.\n";

// What the arguments before "--" ask for without a window: help, the version, or (for an
// unknown option) a refusal. -1 when the window should open.
int AnswerWithoutWindow(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("clipwright %s\n", product::Version().c_str());
            return 0;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (const int code = AnswerWithoutWindow(argc, argv); code >= 0)
        return code;
    // Without any display Qt would abort; say how to get one instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "clipwright: no display found. Start it from a desktop session, or "
                     "under a virtual one: xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    platform::FollowMediaDebugSetting();
    QApplication application(argc, argv);
    // Qt has taken its own options; one left over is a mistake, not a file to open.
    const QStringList arguments = QCoreApplication::arguments();
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            std::fprintf(stderr, "clipwright: unknown option %s (see clipwright --help)\n",
                         qUtf8Printable(argument));
            return 2;
        }
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    return CVinteloApp::Instance().InitInstance();
}
