#include "metadatatrust.h"

#include "serialfloor.h"

#include <QDateTime>
#include <QSettings>

namespace velmar::launcher {

TMetadataTrust::TMetadataTrust(TTrustedKeys oKeys, const QUrl& oMetadataUrl, const QUrl& oEnvelopeUrl,
                               const QString& sStateFile)
    : m_oKeys(std::move(oKeys))
    , m_oMetadataUrl(oMetadataUrl)
    , m_oEnvelopeUrl(oEnvelopeUrl.isEmpty() ? TSignedEnvelope::addressFor(oMetadataUrl) : oEnvelopeUrl)
    , m_pState(sStateFile.isEmpty() ? std::make_unique<QSettings>()
                                    : std::make_unique<QSettings>(sStateFile, QSettings::IniFormat))
{
}

TMetadataTrust::~TMetadataTrust() = default;

TEnvelopeCheck TMetadataTrust::judge(const QByteArray& aEnvelope, quint64 nAlsoAtLeast) const
{
    // Re-read, so that another launcher of the same player that accepted a newer state counts.
    m_pState->sync();
    const quint64 nFloor = std::max(TSerialFloor(*m_pState, m_oMetadataUrl).highest(m_oKeys), nAlsoAtLeast);
    return TEnvelopeCheck(aEnvelope, m_oKeys, nFloor, QDateTime::currentSecsSinceEpoch());
}

void TMetadataTrust::accept(const TSignedEnvelope& oEnvelope)
{
    TSerialFloor(*m_pState, m_oMetadataUrl).raise(oEnvelope.keyId(), oEnvelope.serial());
}

} // namespace velmar::launcher
