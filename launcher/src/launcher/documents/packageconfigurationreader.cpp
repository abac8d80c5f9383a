#include "packageconfigurationreader.h"

#include "configurationurl.h"
#include "jsondocumentparser.h"
#include "jsonelementfields.h"
#include "jsonmembers.h"

#include <QDebug>
#include <QAtomicInteger>

#include <algorithm>

namespace velmar::launcher {

namespace {

using simdjson::dom::element;

// A file object carries its own packed form: the members of a chunk come first.
enum EMember : size_t
{
    UrlMember,
    PackedSizeMember,
    PackedHashMember,
    UnpackedSizeMember,
    UnpackedHashMember,
    UnpackMember,
    LocalFileMember,
    ExecutableMember,
    ChunksMember,
    PatchesMember,
};
constexpr std::array<std::string_view, 6> kChunkMembers
    = {"url", "packedsize", "packedhash", "unpackedsize", "unpackedhash", "unpack"};
constexpr std::array<std::string_view, 10> kFileMembers = {"url",          "packedsize", "packedhash", "unpackedsize",
                                                          "unpackedhash", "unpack",     "localfile",  "executable",
                                                          "chunks",       "patches"};

enum EDocumentMember : size_t
{
    VersionMember,
    ExecutablePathMember,
    GenerationMember,
    VariantMember,
    DocumentChunksMember,
    DocumentFilesMember,
    ParametersMember,
};
constexpr std::array<std::string_view, 7> kDocumentMembers
    = {"version", "executable", "generation", "variant", "chunks", "files", "parameters"};

enum EPatchMember : size_t
{
    PatchUrlMember,
    FromVersionMember,
    ToVersionMember,
    SizeMember,
};
constexpr std::array<std::string_view, 4> kPatchMembers = {"url", "fromversion", "toversion", "size"};

// False for an absent value and for any value that is no array.
bool getArray(const element* pValue, simdjson::dom::array& lArray)
{
    return pValue && pValue->get(lArray) == simdjson::SUCCESS;
}

bool isArray(const element* pValue)
{
    return pValue && pValue->type() == simdjson::dom::element_type::ARRAY;
}

EClientGeneration generationFromText(const QString& sText)
{
    if (sText == QLatin1String("first"))
        return FirstGeneration;
    if (sText == QLatin1String("second"))
        return SecondGeneration;
    return UnknownGeneration;
}

EClientVariant variantFromText(const QString& sText)
{
    if (sText == QLatin1String("regular"))
        return RegularVariant;
    if (sText == QLatin1String("preview"))
        return PreviewVariant;
    if (sText == QLatin1String("beta"))
        return BetaVariant;
    if (sText == QLatin1String("test"))
        return TestVariant;
    return UnknownVariant;
}

quint32 nextReaderSerial()
{
    // 0 is never handed out, so a default-constructed description belongs to no reader.
    static QAtomicInteger<quint32> s_nSerial;
    quint32 nSerial;
    do
        nSerial = ++s_nSerial;
    while (nSerial == 0);
    return nSerial;
}

} // namespace

TPackageConfigurationReader::TPackageConfigurationReader(QByteArray aPackageDocument, QByteArray aAssetDocument,
                                                         QUrl oPackageBaseUrl, QUrl oAssetBaseUrl)
    : m_oPackageBaseUrl(std::move(oPackageBaseUrl))
    , m_oAssetBaseUrl(std::move(oAssetBaseUrl))
    , m_aPackageDocument(std::move(aPackageDocument))
    , m_aAssetDocument(std::move(aAssetDocument))
    , m_nSerial(nextReaderSerial())
{
    if (!readDocuments())
        return;
    // Grown piece by piece while reading: up to twice the addresses' size otherwise.
    m_aAddressTexts.squeeze();
    // Stable, so that equal paths keep the order in which the documents list them.
    std::stable_sort(m_lFiles.begin(), m_lFiles.end(), [](const TFileDescription& oLeft, const TFileDescription& oRight) {
        return oLeft.m_sLocalFile < oRight.m_sLocalFile;
    });
    m_bValid = true;
}

bool TPackageConfigurationReader::readDocuments()
{
    // The parser lives only for one document, so that the memory of the package
    // document's parse goes before the asset document is parsed.
    const auto parseAndRead = [this](QByteArray& aDocument, void (TPackageConfigurationReader::*fnRead)(const element&)) {
        TJsonDocumentParser::reservePadding(aDocument);
        TJsonDocumentParser oParser;
        if (!oParser.parse(aDocument))
            return false;
        (this->*fnRead)(oParser.root());
        return true;
    };
    if (!parseAndRead(m_aPackageDocument, &TPackageConfigurationReader::readPackageDocument)) {
        qCritical() << "JSON package configuration file could not be parsed, using default package.";
        return false;
    }
    if (!m_aAssetDocument.isEmpty() && !parseAndRead(m_aAssetDocument, &TPackageConfigurationReader::readAssetDocument)) {
        qCritical() << "JSON asset configuration file could not be parsed, using default package.";
        discardPackageDocument();
        return false;
    }
    return true;
}

void TPackageConfigurationReader::discardPackageDocument()
{
    m_sVersion.clear();
    m_sExecutable.clear();
    m_bPackageListsFiles = false;
    m_sMalformedValue.clear();
    m_eGeneration = UnknownGeneration;
    m_eVariant = UnknownVariant;
    m_lParameters.clear();
    std::vector<TChunkDescription>().swap(m_lChunks);
    std::vector<TFileDescription>().swap(m_lFiles);
    m_aAddressTexts = QByteArray();
}

void TPackageConfigurationReader::readPackageDocument(const element& oDocument)
{
    // An array at the top is a document without any of these members.
    const TJsonMembers oMembers(oDocument, kDocumentMembers);
    m_sVersion = elementText(oMembers.value(VersionMember));
    m_sExecutable = elementText(oMembers.value(ExecutablePathMember));
    m_eGeneration = generationFromText(elementText(oMembers.value(GenerationMember)));
    m_eVariant = variantFromText(elementText(oMembers.value(VariantMember)));
    readChunks(oMembers.value(DocumentChunksMember), false);
    m_bPackageListsFiles = isArray(oMembers.value(DocumentFilesMember));
    readFiles(oMembers.value(DocumentFilesMember), false);
    simdjson::dom::array lParameters;
    if (getArray(oMembers.value(ParametersMember), lParameters)) {
        for (const element oParameter : lParameters)
            m_lParameters.append(elementText(&oParameter));
    }
}

void TPackageConfigurationReader::readAssetDocument(const element& oDocument)
{
    const TJsonMembers oMembers(oDocument, kDocumentMembers);
    m_sAssetVersion = elementNumberOrText(oMembers.value(VersionMember));
    readChunks(oMembers.value(DocumentChunksMember), true);
    m_bAssetsListFiles = isArray(oMembers.value(DocumentFilesMember));
    readFiles(oMembers.value(DocumentFilesMember), true);
}

void TPackageConfigurationReader::readChunks(const element* pValue, bool bFromAssets)
{
    simdjson::dom::array lChunks;
    if (!getArray(pValue, lChunks))
        return;
    m_lChunks.reserve(m_lChunks.size() + lChunks.size());
    for (const element oChunk : lChunks) {
        m_lChunks.emplace_back();
        readChunk(TJsonMembers(oChunk, kChunkMembers), bFromAssets, m_lChunks.back(), nullptr);
    }
}

void TPackageConfigurationReader::readFiles(const element* pValue, bool bFromAssets)
{
    simdjson::dom::array lFiles;
    if (!getArray(pValue, lFiles))
        return;
    m_lFiles.reserve(m_lFiles.size() + lFiles.size());
    for (const element oFile : lFiles) {
        m_lFiles.emplace_back();
        readFile(oFile, bFromAssets, m_lFiles.back());
    }
}

template <typename TMembers>
void TPackageConfigurationReader::readChunk(const TMembers& oMembers, bool bFromAssets, TChunkDescription& oChunk,
                                            const TFileDescription* pFile)
{
    const element* pUrl = oMembers.value(UrlMember);
    std::string_view sUrl;
    if (pUrl && pUrl->get(sUrl) == simdjson::SUCCESS && !sUrl.empty()) {
        oChunk.m_nUrlOffset = static_cast<quint32>(m_aAddressTexts.size());
        oChunk.m_nUrlLength = static_cast<quint32>(sUrl.size());
        m_aAddressTexts.append(sUrl.data(), int(sUrl.size()));
    }
    oChunk.m_nOwner = m_nSerial;
    oChunk.m_bUrlFromAssets = bFromAssets;
    const auto readSize = [&](size_t nMember, shared::TFileSize& nSize) {
        const element* pValue = oMembers.value(nMember);
        const std::optional<shared::TFileSize> oSize = elementFileSize(pValue);
        nSize = oSize.value_or(0);
        if (!oSize) {
            const QString sOwner = pFile ? QStringLiteral("\"%1\"").arg(pFile->m_sLocalFile)
                                         : QStringLiteral("chunk %1").arg(&oChunk - m_lChunks.data());
            const std::string_view sMember = kChunkMembers[nMember];
            noteMalformed(QStringLiteral("the %1 of %2").arg(QLatin1String(sMember.data(), int(sMember.size())), sOwner),
                          pValue, "size");
        }
    };
    readSize(PackedSizeMember, oChunk.m_nPackedSize);
    oChunk.m_oPackedHash = elementDigest(oMembers.value(PackedHashMember));
    readSize(UnpackedSizeMember, oChunk.m_nUnpackedSize);
    oChunk.m_oUnpackedHash = elementDigest(oMembers.value(UnpackedHashMember));
    oChunk.m_bUnpack = elementBool(oMembers.value(UnpackMember), true);
}

void TPackageConfigurationReader::readFile(const element& oValue, bool bFromAssets, TFileDescription& oFile)
{
    const TJsonMembers oMembers(oValue, kFileMembers);
    oFile.m_sLocalFile = elementText(oMembers.value(LocalFileMember));
    oFile.m_bExecutable = elementBool(oMembers.value(ExecutableMember), false);
    readChunk(oMembers, bFromAssets, oFile.m_oPackedForm, &oFile);

    simdjson::dom::array lChunks;
    if (getArray(oMembers.value(ChunksMember), lChunks)) {
        oFile.m_lChunks.reserve(lChunks.size());
        for (const element oIndex : lChunks) {
            const std::optional<qint32> oNumber = elementInt32(&oIndex);
            oFile.m_lChunks.push_back(oNumber.value_or(-1));
            if (!oNumber)
                noteMalformed(QStringLiteral("a chunk of \"%1\"").arg(oFile.m_sLocalFile), &oIndex, "chunk index");
        }
    }

    simdjson::dom::array lPatches;
    if (!getArray(oMembers.value(PatchesMember), lPatches))
        return;
    const QUrl& oBase = bFromAssets ? m_oAssetBaseUrl : m_oPackageBaseUrl;
    for (const element oPatchValue : lPatches) {
        const TJsonMembers oPatch(oPatchValue, kPatchMembers);
        const element* pUrl = oPatch.value(PatchUrlMember);
        const bool bUrl = pUrl && pUrl->type() == simdjson::dom::element_type::STRING;
        oFile.m_lPatches.emplace_back(bUrl ? resolveAgainstBase(oBase, elementText(pUrl)) : oBase,
                                      elementInt32(oPatch.value(FromVersionMember)).value_or(0),
                                      elementInt32(oPatch.value(ToVersionMember)).value_or(0),
                                      elementInt32(oPatch.value(SizeMember)).value_or(0));
    }
}

void TPackageConfigurationReader::noteMalformed(const QString& sWhat, const element* pValue, const char* pKind)
{
    // The first one found is enough to refuse the documents.
    if (m_sMalformedValue.isEmpty())
        m_sMalformedValue = QStringLiteral("The package gives %1 as %2, which is no %3.")
                                .arg(sWhat, elementJson(pValue), QLatin1String(pKind));
}

QString TPackageConfigurationReader::versionLabel() const
{
    const QString sUnknown = QStringLiteral("?");
    return QStringLiteral("P%1 A%2").arg(m_sVersion.isEmpty() ? sUnknown : m_sVersion,
                                         m_sAssetVersion.isEmpty() ? sUnknown : m_sAssetVersion);
}

QString TPackageConfigurationReader::addressText(const TChunkDescription& oChunk) const
{
    // Another reader's offsets point into other texts and its base is not ours.
    if (oChunk.m_nOwner != m_nSerial) {
        qWarning() << "A chunk description was resolved through a configuration that did not list it.";
        return QString();
    }
    if (!oChunk.hasUrl() || quint64(oChunk.m_nUrlOffset) + oChunk.m_nUrlLength > quint64(m_aAddressTexts.size()))
        return QString();
    return QString::fromUtf8(m_aAddressTexts.constData() + oChunk.m_nUrlOffset, static_cast<int>(oChunk.m_nUrlLength));
}

QUrl TPackageConfigurationReader::url(const TChunkDescription& oChunk, bool* pRelative) const
{
    if (pRelative)
        *pRelative = false;
    const QString sAddress = addressText(oChunk);
    if (sAddress.isEmpty())
        return QUrl();
    return resolveAgainstBase(baseUrl(oChunk), sAddress, pRelative);
}

} // namespace velmar::launcher
