#pragma once

#include "chunkdescription.h"
#include "filedescription.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace simdjson::dom {
class element;
}

namespace velmar::launcher {

enum EClientGeneration : qint32
{
    UnknownGeneration = 0,
    FirstGeneration = 1,
    SecondGeneration = 2,
};

enum EClientVariant : qint32
{
    UnknownVariant = 0,
    RegularVariant = 1,
    PreviewVariant = 2,
    BetaVariant = 3,
    TestVariant = 4,
};

// One client build as described by its package document ("package.json") and
// asset document ("assets.json"): versions, executable and parameters, the
// chunks (package chunks first, then asset chunks) and the files of both
// documents sorted by their local path. The same reader serves the remote
// documents and the copies kept inside an installed client.
//
// The documents come from the network. Unparsable bytes make the reader
// invalid (logged, never thrown); wrong types and absurd values take the
// defaults. Immutable after construction, so it may be read from any thread.
class TPackageConfigurationReader
{
public:
    // The base URLs are the documents' own URLs with the file names removed.
    // Empty asset bytes mean a build without assets.
    TPackageConfigurationReader(QByteArray aPackageDocument, QByteArray aAssetDocument, QUrl oPackageBaseUrl,
                                QUrl oAssetBaseUrl);
    TPackageConfigurationReader(const TPackageConfigurationReader&) = delete;
    TPackageConfigurationReader& operator=(const TPackageConfigurationReader&) = delete;

    const QUrl& packageBaseUrl() const { return m_oPackageBaseUrl; }
    const QUrl& assetBaseUrl() const { return m_oAssetBaseUrl; }
    const QString& version() const { return m_sVersion; }
    const QString& assetVersion() const { return m_sAssetVersion; }
    EClientGeneration generation() const { return m_eGeneration; }
    EClientVariant variant() const { return m_eVariant; }
    const QString& executable() const { return m_sExecutable; }
    const QStringList& parameters() const { return m_lParameters; }
    const std::vector<TChunkDescription>& chunks() const { return m_lChunks; }
    const std::vector<TFileDescription>& files() const { return m_lFiles; }
    const QByteArray& packageDocument() const { return m_aPackageDocument; }
    const QByteArray& assetDocument() const { return m_aAssetDocument; }
    // True only when both documents parsed.
    bool isValid() const { return m_bValid; }
    // Whether the package document is an object with a "files" array, and the
    // asset document too where there is one. What a server or proxy sends in
    // place of a document (an error object, an empty one) has none, and
    // describes no package at all; an explicit empty list is a package of no files.
    bool packageListsFiles() const { return m_bPackageListsFiles; }
    bool assetsListFiles() const { return m_bAssetsListFiles; }
    // The first size or chunk index the documents give that is none (negative,
    // fractional, too large, a text or a value of another type), named as
    // written, in a sentence for the user; empty when there is none.
    const QString& malformedValue() const { return m_sMalformedValue; }

    // "P<package version> A<asset version>", "?" standing for an empty version.
    // Two configurations are the same version exactly when their labels are equal.
    QString versionLabel() const;

    // The address of a chunk or of a file's packed form listed by this reader,
    // resolved against the base URL of the document that listed it; empty when
    // the document gave none, and for a description another reader listed.
    // pRelative, when given, learns whether the document gave the address
    // relative to itself, so that a mirror of its folder may serve it.
    QUrl url(const TChunkDescription& oChunk, bool* pRelative = nullptr) const;
    // The base URL of the document that listed the description.
    const QUrl& baseUrl(const TChunkDescription& oChunk) const
    {
        return oChunk.m_bUrlFromAssets ? m_oAssetBaseUrl : m_oPackageBaseUrl;
    }

private:
    // Reads both documents; false when either is no JSON document.
    bool readDocuments();
    // An invalid configuration keeps nothing of either document.
    void discardPackageDocument();
    void readPackageDocument(const simdjson::dom::element& oDocument);
    void readAssetDocument(const simdjson::dom::element& oDocument);
    void readChunks(const simdjson::dom::element* pValue, bool bFromAssets);
    void readFiles(const simdjson::dom::element* pValue, bool bFromAssets);
    // pFile is the file whose packed form oChunk is, or null for a chunk of the list.
    template <typename TMembers>
    void readChunk(const TMembers& oMembers, bool bFromAssets, TChunkDescription& oChunk, const TFileDescription* pFile);
    void readFile(const simdjson::dom::element& oValue, bool bFromAssets, TFileDescription& oFile);
    // The description's address as the document wrote it; empty for none and for another reader's.
    QString addressText(const TChunkDescription& oChunk) const;
    void noteMalformed(const QString& sWhat, const simdjson::dom::element* pValue, const char* pKind);

    QUrl m_oPackageBaseUrl;
    QUrl m_oAssetBaseUrl;
    QString m_sVersion;
    QString m_sAssetVersion;
    EClientGeneration m_eGeneration = UnknownGeneration;
    EClientVariant m_eVariant = UnknownVariant;
    QString m_sExecutable;
    QStringList m_lParameters;
    std::vector<TChunkDescription> m_lChunks;
    std::vector<TFileDescription> m_lFiles;
    QByteArray m_aPackageDocument;
    QByteArray m_aAssetDocument;
    bool m_bValid = false;
    bool m_bPackageListsFiles = false;
    bool m_bAssetsListFiles = true;
    QString m_sMalformedValue;
    // Tells this reader's descriptions from those of any other reader.
    quint32 m_nSerial;
    // The UTF-8 addresses of all chunks and files, back to back.
    QByteArray m_aAddressTexts;
};

} // namespace velmar::launcher
