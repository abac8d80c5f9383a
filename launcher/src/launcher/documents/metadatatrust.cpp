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
    , m_sStateFile(sStateFile)
{
}

QSettings& TMetadataTrust::state() const
{
    if (!m_pState)
        m_pState = m_sStateFile.isEmpty() ? std::make_unique<QSettings>()
                                          : std::make_unique<QSettings>(m_sStateFile, QSettings::IniFormat);
    return *m_pState;
}

TMetadataTrust::~TMetadataTrust() = default;

TEnvelopeCheck TMetadataTrust::judge(const QByteArray& aEnvelope, quint64 nAlsoAtLeast) const
{
    // Re-read, so that another launcher of the same player that accepted a newer state counts.
    state().sync();
    const quint64 nFloor = std::max(TSerialFloor(state(), m_oMetadataUrl).highest(m_oKeys), nAlsoAtLeast);
    return TEnvelopeCheck(aEnvelope, m_oKeys, nFloor, QDateTime::currentSecsSinceEpoch());
}

void TMetadataTrust::accept(const TSignedEnvelope& oEnvelope)
{
    TSerialFloor(state(), m_oMetadataUrl).raise(oEnvelope.keyId(), oEnvelope.serial());
}

} // namespace velmar::launcher
