#include "platform/LogSwitch.h"

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QString>

#include <fnmatch.h>

#include <iterator>

namespace platform {

namespace {

// GStreamer's level names and numbers: 4 is INFO, 5 DEBUG.
int LevelOf(const QByteArray &text)
{
    bool number = false;
    const int level = text.toInt(&number);
    if (number)
        return level;
    static const char *const names[]
        = {"NONE", "ERROR", "WARNING", "FIXME", "INFO", "DEBUG", "LOG", "TRACE", "MEMDUMP"};
    for (int i = 0; i < int(std::size(names)); ++i)
        if (text.trimmed().toUpper() == names[i])
            return i;
    return 0;
}

} // namespace

void FollowMediaDebugSetting()
{
    const QByteArray setting = qgetenv("GST_DEBUG");
    if (setting.isEmpty())
        return;
    // The last entry that names our categories wins, as in GStreamer; a bare level sets them all.
    int level = -1;
    for (const QByteArray &entry : setting.split(',')) {
        const int colon = entry.lastIndexOf(':');
        if (colon < 0) {
            level = LevelOf(entry);
            continue;
        }
        const QByteArray pattern = entry.left(colon).trimmed();
        if (fnmatch(pattern.constData(), "clipwright-convert", 0) == 0)
            level = LevelOf(entry.mid(colon + 1));
    }
    // Each level is switched on by itself: debug does not imply info.
    if (level >= 5)
        QLoggingCategory::setFilterRules(
            QStringLiteral("clipwright.*.info=true\nclipwright.*.debug=true"));
    else if (level == 4)
        QLoggingCategory::setFilterRules(QStringLiteral("clipwright.*.info=true"));
}

} // namespace platform
