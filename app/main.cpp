#include "app/VinteloApp.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    // Without any display Qt would abort; say how to get one instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "clipwright: no display found. Start it from a desktop session, or "
                     "under a virtual one: xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    return CVinteloApp::Instance().InitInstance();
}
