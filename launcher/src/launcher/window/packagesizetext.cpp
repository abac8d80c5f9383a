#include "packagesizetext.h"

#include "progresstext.h"

#include <QChar>

namespace velmar::launcher {

namespace {

QString upTo(const TPackageSizeEstimate& oEstimate)
{
    return oEstimate.m_bUpperBound ? QStringLiteral("up to ") : QString();
}

} // namespace

bool lacksRoom(const TPackageSizeEstimate& oEstimate)
{
    return oEstimate.m_nFreeBytes && *oEstimate.m_nFreeBytes < oEstimate.m_oSize.m_nRoomBytes;
}

QString packageSizeToolTip(const QString& sLabel, const TPackageSizeEstimate& oEstimate)
{
    const QString sFetch = QStringLiteral("Downloads %1%2").arg(upTo(oEstimate), sizeText(oEstimate.m_oSize.fetchedBytes()));
    QString sRoom;
    if (oEstimate.m_sFromVersion.isEmpty())
        sRoom = QStringLiteral("needs %1%2 on disk").arg(upTo(oEstimate), sizeText(oEstimate.m_oSize.m_nRoomBytes));
    else if (oEstimate.m_oSize.m_nRoomBytes == 0)
        sRoom = QStringLiteral("needs no more room on disk");
    else
        sRoom = QStringLiteral("needs %1%2 more on disk").arg(upTo(oEstimate), sizeText(oEstimate.m_oSize.m_nRoomBytes));
    QString sText = QStringLiteral("%1\n%2, %3").arg(sLabel, sFetch, sRoom);
    if (lacksRoom(oEstimate))
        sText += QStringLiteral("\nNot enough free space: %1 free").arg(sizeText(*oEstimate.m_nFreeBytes));
    return sText;
}

QString updateNoteText(const TPackageSizeEstimate& oEstimate)
{
    // The note wraps in its narrow panel, never between a figure and its unit.
    const QString sFetch = QStringLiteral("%1%2 to download")
                               .arg(upTo(oEstimate), sizeText(oEstimate.m_oSize.fetchedBytes()).replace(QLatin1Char(' '), QChar::Nbsp));
    if (oEstimate.m_sFromVersion.isEmpty())
        return sFetch;
    return QStringLiteral("from %1 %2 %3").arg(oEstimate.m_sFromVersion, QChar(0x00B7), sFetch);
}

} // namespace velmar::launcher
