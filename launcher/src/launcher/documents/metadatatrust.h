#pragma once

#include "envelopecheck.h"
#include "trustedkeys.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <memory>

class QSettings;

namespace velmar::launcher {

// Whether the metadata must come signed, where its signed form lies, and the
// serial floor that keeps an older signed state from being served again. The
// floor lives in the player's own state (or in a file of its own for a
// headless install), never beside the launcher, where a settings file could
// be swapped with it.
class TMetadataTrust
{
public:
    // An empty oEnvelopeUrl lies beside the metadata; an empty sStateFile is the per-user state.
    TMetadataTrust(TTrustedKeys oKeys, const QUrl& oMetadataUrl, const QUrl& oEnvelopeUrl, const QString& sStateFile);
    ~TMetadataTrust();

    bool isChecking() const { return m_oKeys.isChecking(); }
    const TTrustedKeys& keys() const { return m_oKeys; }
    const QUrl& envelopeUrl() const { return m_oEnvelopeUrl; }

    // The verdict on an envelope, now, against the recorded floor raised to nAlsoAtLeast.
    TEnvelopeCheck judge(const QByteArray& aEnvelope, quint64 nAlsoAtLeast = 0) const;
    // Records the envelope's serial as the new floor. Throws std::runtime_error
    // when the state cannot be written.
    void accept(const TSignedEnvelope& oEnvelope);

private:
    // Opened at first use: the per-user state is named after the application, which names itself after this is made.
    QSettings& state() const;

    TTrustedKeys m_oKeys;
    QUrl m_oMetadataUrl;
    QUrl m_oEnvelopeUrl;
    QString m_sStateFile;
    mutable std::unique_ptr<QSettings> m_pState;
};

} // namespace velmar::launcher
