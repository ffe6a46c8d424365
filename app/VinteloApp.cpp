#include "app/VinteloApp.h"

#include "app/MainCommands.h"
#include "app/VinteloDlg.h"
#include "localisation/Language.h"
#include "media/playback/WaveSounds.h"
#include "platform/WidgetServices.h"
#include "resources/Artwork.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcApp, "clipwright.app", QtWarningMsg)

CVinteloApp::CVinteloApp() = default;

CVinteloApp::~CVinteloApp()
{
    if (m_store)
        SettingsStore::SetGlobal(nullptr);
}

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
    SettingsStore::SetGlobal(m_store.get());
    platform::SetApplicationName(applicationName);

    platform::WidgetMessageBoxService boxes;
    platform::WidgetChooserService choosers;
    platform::MessageBoxService *previousBoxes = platform::SetMessageBoxService(&boxes);
    platform::ChooserService *previousChoosers = platform::SetChooserService(&choosers);
    media::WaveSounds sounds;
    const QByteArray hover = artwork::Sound(artwork::SoundHover);
    sounds.AddResource(artwork::SoundHover, std::vector<unsigned char>(hover.begin(), hover.end()));
    platform::SoundService *previousSounds = platform::SetSoundService(&sounds);

    const std::string language = m_store->ReadString("Option", "CurrentLanguage", "english");
    CLanguage &catalogue = CLanguage::Instance();
    catalogue.Initialize(CLanguage::GetLanguageRoot(), language);
    // Where the program found the files it carries (an installed copy must find them too).
    const QString help = QString::fromStdString(maincommands::HelpPagePath());
    qCInfo(lcApp, "language: %s of %d files in %s/language; help: %s (%s)",
           catalogue.GetCurrentLanguage().c_str(), catalogue.GetLanguageCount(),
           CLanguage::GetLanguageRoot().c_str(), qUtf8Printable(help),
           QFileInfo::exists(help) ? "found" : "missing");

    {
        CVinteloDlg dialog;
        boxes.SetOwner(&dialog);
        choosers.SetOwner(&dialog);
        if (dialog.Initialized())
            dialog.OpenFromArguments(QCoreApplication::arguments());
        dialog.exec();
    }

    platform::SetMessageBoxService(previousBoxes);
    platform::SetChooserService(previousChoosers);
    platform::SetSoundService(previousSounds);
    return 0;
}
