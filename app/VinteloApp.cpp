#include "app/VinteloApp.h"

#include "app/MainCommands.h"
#include "app/VinteloDlg.h"
#include "localisation/DesktopLanguage.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "localisation/ReportTexts.h"
#include "media/playback/WaveSounds.h"
#include "platform/WidgetServices.h"
#include "resources/Artwork.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcApp, "clipwright.app", QtWarningMsg)

CVinteloApp::CVinteloApp() = default;

CVinteloApp::~CVinteloApp() = default;

CVinteloApp &CVinteloApp::Instance()
{
    static CVinteloApp app;
    return app;
}

int CVinteloApp::InitInstance()
{
    // Settings live under the company name, in a file named after the executable.
    const std::string applicationName = QCoreApplication::applicationName().toStdString();
    m_store = std::make_unique<SettingsStore>("Korvane", applicationName);
    platform::SetApplicationName(applicationName);

    platform::WidgetMessageBoxService boxes;
    boxes.SetFontSource([] { return InterfaceQFont(CLanguage::Instance()); });
    platform::WidgetChooserService choosers;
    platform::MessageBoxService *previousBoxes = platform::SetMessageBoxService(&boxes);
    platform::ChooserService *previousChoosers = platform::SetChooserService(&choosers);
    // The engine's reports become the window's boxes.
    WindowReports reports;
    media::WaveSounds sounds;
    const QByteArray hover = artwork::Sound(artwork::SoundHover);
    sounds.AddResource(artwork::SoundHover, std::vector<unsigned char>(hover.begin(), hover.end()));
    platform::SoundService *previousSounds = platform::SetSoundService(&sounds);

    // A stored choice always wins; on a first run the desktop's language is taken where a file
    // for it is installed.
    const std::string stored = m_store->ReadString("Option", "CurrentLanguage", std::string());
    CLanguage &catalogue = CLanguage::Instance();
    catalogue.UseSettings(m_store.get());
    catalogue.Initialize(CLanguage::GetLanguageRoot(), stored.empty() ? "english" : stored);
    if (stored.empty()) {
        std::vector<std::string> files;
        for (int i = 0; i < catalogue.GetLanguageCount(); ++i)
            files.push_back(catalogue.GetLanguageName(i));
        const std::string desktop = DesktopLanguage(files, QLocale::system().uiLanguages());
        if (desktop != "english")
            catalogue.SelectLanguage(desktop);
    }
    // Where the program found the files it carries (an installed copy must find them too).
    const QString help = QString::fromStdString(maincommands::HelpPagePath());
    qCInfo(lcApp, "language: %s of %d files in %s/language; help: %s (%s)",
           catalogue.GetCurrentLanguage().c_str(), catalogue.GetLanguageCount(),
           CLanguage::GetLanguageRoot().c_str(), qUtf8Printable(help),
           QFileInfo::exists(help) ? "found" : "missing");

    {
        CVinteloDlg dialog(*m_store);
        boxes.SetOwner(&dialog);
        choosers.SetOwner(&dialog);
        if (dialog.Initialized())
            dialog.OpenFromArguments(QCoreApplication::arguments());
        dialog.RunUntilEnded();
    }

    platform::SetMessageBoxService(previousBoxes);
    platform::SetChooserService(previousChoosers);
    platform::SetSoundService(previousSounds);
    catalogue.UseSettings(nullptr);
    return 0;
}
