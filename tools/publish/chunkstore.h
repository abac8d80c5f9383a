#pragma once

#include "shared/packer.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>

// The chunk files of a CDN folder: "chunks/<2 hex digits>/<64 hex digits>.<method>",
// named after the SHA-256 of the unpacked bytes and the method they were published
// with, so that a later version published with the same method finds every chunk
// it shares with earlier ones and writes only the new ones. A chunk that the
// method would make larger is stored instead; its header says so.
//
// Every file is written under a temporary name and renamed into place only once
// complete, and only after it was unpacked again and found equal to its bytes.
// store() may run on several threads at once for different chunks.
class TChunkStore
{
public:
    struct TStoredChunk
    {
        quint64 nPackedSize = 0;
        QByteArray aPackedHash;
        // The file was written by this call: it was missing, or damaged.
        bool bWritten = false;
        bool bRepaired = false;
    };

    // nLevel: one of the method's levels, or shared::kDefaultPackLevel.
    TChunkStore(const QString& sOutputFolder, shared::EPackMethod eMethod, int nLevel);
    TChunkStore(const TChunkStore&) = delete;
    TChunkStore& operator=(const TChunkStore&) = delete;

    // The chunk's address relative to the folder that holds the documents.
    QString relativeUrl(const QByteArray& aUnpackedHash) const;

    // Makes sure the file for these bytes exists and unpacks to them: an existing
    // sound file is kept, a missing or damaged one is packed and written.
    // Throws std::runtime_error with the reason.
    TStoredChunk store(const QByteArray& aBytes, const QByteArray& aUnpackedHash);

    // Removes the files and folders that store() created, newest first: what a
    // run that fails leaves behind is the folder as it found it. Files it
    // repaired stay repaired.
    void rollBack();

private:
    QByteArray packed(const QByteArray& aBytes) const;
    void createFolder(const QString& sPath);
    bool existingFileIsSound(const QString& sPath, const QByteArray& aBytes, TStoredChunk& oResult) const;

    QString m_sOutputFolder;
    shared::EPackMethod m_eMethod;
    int m_nLevel;
    QString m_sSuffix;
    QMutex m_oMutex;
    QStringList m_lCreatedFolders;
    QStringList m_lCreatedFiles;
};
