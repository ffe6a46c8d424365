#include "localisation/ReportTexts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

// Every test binary runs with a QApplication on the offscreen platform and its own settings
// folders, so no test touches the user's real settings or videos folder.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // A test may ask for a screen of its own size (offscreen:configfile=...).
    if (!qgetenv("QT_QPA_PLATFORM").startsWith("offscreen"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    // The videos folder too: the program makes it when it is missing.
    QDir().mkpath(home.path() + "/config");
    QFile dirs(home.path() + "/config/user-dirs.dirs");
    if (dirs.open(QIODevice::WriteOnly))
        dirs.write("XDG_VIDEOS_DIR=\"" + home.path().toUtf8() + "/Videos\"\n");
    dirs.close();
    QApplication app(argc, argv);
    // The engine's reports become the window's boxes, which the tests record.
    WindowReports reports;
    return RUN_ALL_TESTS();
}
