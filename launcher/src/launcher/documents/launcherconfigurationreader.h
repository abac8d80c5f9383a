#pragma once

#include "package.h"

#include <QByteArray>
#include <QUrl>

#include <memory>
#include <vector>

namespace velmar::launcher {

// The launcher metadata: the launcher's own package, the client packages in
// document order, the survey, hints and funnel addresses and two display flags.
// Every key is optional; a value of the wrong type takes the default.
class TLauncherConfigurationReader
{
public:
    // oBaseUrl is the document's URL with the file name removed (for the local
    // copy, the launcher folder as a file URL). Throws
    // TLauncherConfigurationException with the parser's message when the bytes
    // are not JSON; a top level that is not an object reads as an empty object.
    TLauncherConfigurationReader(QByteArray aDocument, QUrl oBaseUrl);
    TLauncherConfigurationReader(const TLauncherConfigurationReader&) = delete;
    TLauncherConfigurationReader& operator=(const TLauncherConfigurationReader&) = delete;

    const QUrl& baseUrl() const { return m_oBaseUrl; }
    const QByteArray& document() const { return m_aDocument; }
    // Null when the document has no "launcher" object.
    const std::shared_ptr<TPackage>& launcherPackage() const { return m_pLauncherPackage; }
    const std::vector<std::shared_ptr<TPackage>>& packages() const { return m_lPackages; }
    // Whether the document has a "packages" array (an empty one too). What a
    // server or proxy sends in place of the metadata (an error object) has none.
    bool listsPackages() const { return m_bListsPackages; }
    const QUrl& hardwareSurveyUrl() const { return m_oHardwareSurveyUrl; }
    const QUrl& hintsUrl() const { return m_oHintsUrl; }
    const QUrl& funnelUrl() const { return m_oFunnelUrl; }
    bool preventDefaultAutostart() const { return m_bPreventDefaultAutostart; }
    bool showPackageNames() const { return m_bShowPackageNames; }

private:
    QUrl m_oBaseUrl;
    QByteArray m_aDocument;
    std::shared_ptr<TPackage> m_pLauncherPackage;
    std::vector<std::shared_ptr<TPackage>> m_lPackages;
    QUrl m_oHardwareSurveyUrl;
    QUrl m_oHintsUrl;
    QUrl m_oFunnelUrl;
    bool m_bPreventDefaultAutostart = false;
    bool m_bShowPackageNames = false;
    bool m_bListsPackages = false;
};

} // namespace velmar::launcher
