#include "statuslookup.h"

namespace shared {

TConfinedFolder::TStatus TStatusLookup::status(const QString& sRelative)
{
    const int nMissing = m_sMissingFolder.size();
    if (nMissing > 0 && sRelative.size() > nMissing && sRelative.at(nMissing) == QLatin1Char('/')
        && sRelative.startsWith(m_sMissingFolder))
        return {};
    const TConfinedFolder::TStatus oStatus = m_oFolder.status(sRelative);
    const int nSlash = sRelative.lastIndexOf(QLatin1Char('/'));
    if (oStatus.m_eEntry == TConfinedFolder::EEntry::Missing && nSlash > 0) {
        const QString sFolder = sRelative.left(nSlash);
        if (m_oFolder.status(sFolder).m_eEntry == TConfinedFolder::EEntry::Missing)
            m_sMissingFolder = sFolder;
    }
    return oStatus;
}

} // namespace shared
