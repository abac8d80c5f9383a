#pragma once

#include "chunkdescription.h"
#include "patchdescription.h"

#include <QString>

#include <vector>

namespace velmar::launcher {

// One file of a client: where it goes, what it must hash to, and the chunks it
// is built from, front to back.
class TFileDescription
{
public:
    // Relative to the package folder, as written in the document: callers keep
    // it inside the folder themselves.
    const QString& localFile() const { return m_sLocalFile; }
    const shared::TSha256Digest& unpackedHash() const { return m_oPackedForm.unpackedHash(); }
    shared::TFileSize unpackedSize() const { return m_oPackedForm.unpackedSize(); }
    bool executable() const { return m_bExecutable; }
    // The whole file as one packed download.
    const TChunkDescription& packedForm() const { return m_oPackedForm; }
    // Indices into TPackageConfigurationReader::chunks(), as written. An element
    // that is not a whole number of 32 bits is held as -1; no index is checked
    // against the chunk list here.
    const std::vector<qint32>& chunks() const { return m_lChunks; }
    const std::vector<TPatchDescription>& patches() const { return m_lPatches; }
    // Whether the engine fetches the file as its packed form rather than chunk by chunk.
    bool fetchedWhole() const { return m_oPackedForm.hasUrl() && m_lChunks.size() < 2; }

private:
    friend class TPackageConfigurationReader;

    QString m_sLocalFile;
    TChunkDescription m_oPackedForm;
    bool m_bExecutable = false;
    std::vector<qint32> m_lChunks;
    std::vector<TPatchDescription> m_lPatches;
};

} // namespace velmar::launcher
