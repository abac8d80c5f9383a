#pragma once

#include "signedenvelope.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmar::launcher {

class TTrustedKeys;

// What is wrong with a signed envelope, in the order it is checked.
enum class EEnvelopeProblem
{
    None,
    // Not one whole envelope: cut short, too long, or another format.
    Damaged,
    UnknownKey,
    BadSignature,
    // Older than a state the launcher has already accepted.
    Rollback,
    Expired,
    // Issued later than this machine's clock says it is now.
    IssuedInFuture,
};

// The verdict on an envelope, as a pure function of its bytes, the trusted
// keys, the lowest serial still acceptable and the time. A publisher's clock
// and a player's rarely agree to the second: an envelope may be issued up to
// kClockTolerance seconds ahead of the player's clock.
class TEnvelopeCheck
{
public:
    static constexpr qint64 kClockTolerance = 24 * 60 * 60;

    TEnvelopeCheck(const QByteArray& aBytes, const TTrustedKeys& oKeys, quint64 nSerialFloor, qint64 nNow);

    // Signed by a trusted key and not older than the floor: its metadata may be read.
    bool isAuthentic() const { return m_oEnvelope && (m_eProblem == EEnvelopeProblem::None || isTimeProblem()); }
    // Authentic and within its time: installs, updates and a self-update may follow it.
    bool isCurrent() const { return m_oEnvelope && m_eProblem == EEnvelopeProblem::None; }
    EEnvelopeProblem problem() const { return m_eProblem; }
    // The problem in words for the log and the player's box; empty when there is none.
    const QString& reason() const { return m_sReason; }
    // The envelope once its signature has been found good, else nothing.
    const std::optional<TSignedEnvelope>& envelope() const { return m_oEnvelope; }

    // "2031-05-04 12:00 UTC"
    static QString timeText(qint64 nUnixSeconds);

private:
    bool isTimeProblem() const
    {
        return m_eProblem == EEnvelopeProblem::Expired || m_eProblem == EEnvelopeProblem::IssuedInFuture;
    }

    std::optional<TSignedEnvelope> m_oEnvelope;
    EEnvelopeProblem m_eProblem = EEnvelopeProblem::None;
    QString m_sReason;
};

} // namespace velmar::launcher
