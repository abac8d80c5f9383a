#pragma once

#include "launcher/documents/trustedkeys.h"

#include <QString>
#include <QStringList>

// Checks signed metadata offline as launchers that trust the given keys see
// it: the envelope next to the metadata file, its signature and time, that the
// plain file holds the same metadata, that every document it names matches its
// pin, and every pinned document's chunks (as check CDNDIR does).
class TSignedMetadataChecker
{
public:
    // An envelope that expires within this many seconds draws a warning.
    static constexpr qint64 kWarningBeforeExpiry = 7 * 24 * 60 * 60;

    TSignedMetadataChecker(QString sMetadataFile, velmar::launcher::TTrustedKeys oKeys, int nJobs, qint64 nNow);

    // The problems found; empty when launchers take the metadata and every
    // document it pins.
    QStringList check();
    // What is sound but wants attention soon, such as the expiry.
    const QStringList& warnings() const { return m_lWarnings; }
    // One line on what was checked, after check().
    const QString& summary() const { return m_sSummary; }

private:
    QStringList checkBuilds(const QByteArray& aMetadata);

    QString m_sMetadataFile;
    velmar::launcher::TTrustedKeys m_oKeys;
    int m_nJobs;
    qint64 m_nNow;
    QStringList m_lWarnings;
    QString m_sSummary;
    int m_nDocuments = 0;
    int m_nFiles = 0;
    int m_nChunks = 0;
    quint64 m_nPackedBytes = 0;
};
