#pragma once

#include <QString>

#include <memory>

class QTranslator;

namespace shared {

// Holds the application's one translator, loaded from the translation file next
// to the launcher. Texts are looked up by identifier.
class TTranslationManager
{
public:
    TTranslationManager();
    ~TTranslationManager();
    TTranslationManager(const TTranslationManager&) = delete;
    TTranslationManager& operator=(const TTranslationManager&) = delete;

    // Removes the translator installed before, then loads "launcher.en" (or
    // "launcher.en.qm") from the folder and installs it when it loaded. Returns
    // whether a translation is now installed.
    bool installFrom(const QString& sLauncherFolder);

    // The translation of the identifier, or the fallback when no installed
    // translation has one: a missing file must not show identifiers to a player.
    static QString text(const char* pIdentifier, const QString& sFallback);

private:
    void remove();

    std::unique_ptr<QTranslator> m_pTranslator;
};

} // namespace shared
