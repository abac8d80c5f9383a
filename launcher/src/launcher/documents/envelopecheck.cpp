#include "envelopecheck.h"

#include "trustedkeys.h"

#include <QDateTime>

namespace velmar::launcher {

TEnvelopeCheck::TEnvelopeCheck(const QByteArray& aBytes, const TTrustedKeys& oKeys, quint64 nSerialFloor, qint64 nNow)
{
    std::optional<TSignedEnvelope> oEnvelope = TSignedEnvelope::read(aBytes);
    if (!oEnvelope) {
        m_eProblem = EEnvelopeProblem::Damaged;
        m_sReason = QStringLiteral("bad signature: the signed metadata is damaged or cut short");
        return;
    }
    const shared::TEd25519PublicKey* pKey = oKeys.find(oEnvelope->keyId());
    if (!pKey) {
        m_eProblem = EEnvelopeProblem::UnknownKey;
        m_sReason = QStringLiteral("unknown key %1").arg(QString::fromLatin1(oEnvelope->keyId().toHex()));
        return;
    }
    if (!oEnvelope->isSignedBy(*pKey)) {
        m_eProblem = EEnvelopeProblem::BadSignature;
        m_sReason = QStringLiteral("bad signature");
        return;
    }
    m_oEnvelope = std::move(oEnvelope);
    if (m_oEnvelope->serial() < nSerialFloor) {
        m_eProblem = EEnvelopeProblem::Rollback;
        m_sReason = QStringLiteral("rollback from serial %1 to %2").arg(nSerialFloor).arg(m_oEnvelope->serial());
        m_oEnvelope.reset();
        return;
    }
    if (m_oEnvelope->issuedAt() > nNow && m_oEnvelope->issuedAt() - nNow > kClockTolerance) {
        m_eProblem = EEnvelopeProblem::IssuedInFuture;
        m_sReason = QStringLiteral("issued on %1, which lies in the future: check the system clock")
                        .arg(timeText(m_oEnvelope->issuedAt()));
    } else if (nNow >= m_oEnvelope->expiresAt()) {
        m_eProblem = EEnvelopeProblem::Expired;
        m_sReason = QStringLiteral("expired on %1").arg(timeText(m_oEnvelope->expiresAt()));
    }
}

QString TEnvelopeCheck::timeText(qint64 nUnixSeconds)
{
    return QDateTime::fromSecsSinceEpoch(nUnixSeconds, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm 'UTC'"));
}

} // namespace velmar::launcher
