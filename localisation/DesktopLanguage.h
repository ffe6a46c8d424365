#pragma once

#include <QStringList>

#include <string>
#include <vector>

// The language file that suits the desktop's languages (first preference first, as BCP 47 names
// such as "de-DE"): a file named after the language in English ("German", "German_Swiss",
// "German_utf-8"), or "english" when none matches. Used only when no language was chosen yet.
std::string DesktopLanguage(const std::vector<std::string> &languageFiles,
                            const QStringList &desktopLanguages);
