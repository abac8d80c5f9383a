#include "packageconfigurationreader.h"

#include "configurationurl.h"
#include "jsonfields.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QAtomicInteger>
#include <QVariant>

#include <algorithm>

namespace velmar::launcher {

namespace {

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

bool parseDocument(const QByteArray& aBytes, QJsonDocument& oDocument)
{
    QJsonParseError oError;
    oDocument = QJsonDocument::fromJson(aBytes, &oError);
    return oError.error == QJsonParseError::NoError;
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
    QJsonDocument oPackage;
    if (!parseDocument(m_aPackageDocument, oPackage)) {
        qCritical() << "JSON package configuration file could not be parsed, using default package.";
        return;
    }
    QJsonDocument oAssets;
    if (!m_aAssetDocument.isEmpty() && !parseDocument(m_aAssetDocument, oAssets)) {
        qCritical() << "JSON asset configuration file could not be parsed, using default package.";
        return;
    }
    readPackageDocument(oPackage.object());
    if (oAssets.isObject())
        readAssetDocument(oAssets.object());
    // Stable, so that equal paths keep the order in which the documents list them.
    std::stable_sort(m_lFiles.begin(), m_lFiles.end(), [](const TFileDescription& oLeft, const TFileDescription& oRight) {
        return oLeft.m_sLocalFile < oRight.m_sLocalFile;
    });
    m_bValid = true;
}

void TPackageConfigurationReader::readPackageDocument(const QJsonObject& oDocument)
{
    m_sVersion = jsonText(oDocument.value(QLatin1String("version")));
    m_sExecutable = jsonText(oDocument.value(QLatin1String("executable")));
    m_eGeneration = generationFromText(jsonText(oDocument.value(QLatin1String("generation"))));
    m_eVariant = variantFromText(jsonText(oDocument.value(QLatin1String("variant"))));
    readChunks(oDocument.value(QLatin1String("chunks")), false);
    readFiles(oDocument.value(QLatin1String("files")), false);
    const QJsonValue oParameters = oDocument.value(QLatin1String("parameters"));
    if (oParameters.isArray()) {
        for (const QJsonValue oParameter : oParameters.toArray())
            m_lParameters.append(jsonText(oParameter));
    }
}

void TPackageConfigurationReader::readAssetDocument(const QJsonObject& oDocument)
{
    const QJsonValue oVersion = oDocument.value(QLatin1String("version"));
    if (oVersion.isDouble())
        m_sAssetVersion = oVersion.toVariant().toString();
    else
        m_sAssetVersion = jsonText(oVersion);
    readChunks(oDocument.value(QLatin1String("chunks")), true);
    readFiles(oDocument.value(QLatin1String("files")), true);
}

void TPackageConfigurationReader::readChunks(const QJsonValue& oValue, bool bFromAssets)
{
    if (!oValue.isArray())
        return;
    const QJsonArray lChunks = oValue.toArray();
    m_lChunks.reserve(m_lChunks.size() + static_cast<size_t>(lChunks.size()));
    for (const QJsonValue oChunk : lChunks) {
        m_lChunks.emplace_back();
        readChunk(oChunk.toObject(), bFromAssets, m_lChunks.back());
    }
}

void TPackageConfigurationReader::readFiles(const QJsonValue& oValue, bool bFromAssets)
{
    if (!oValue.isArray())
        return;
    const QJsonArray lFiles = oValue.toArray();
    m_lFiles.reserve(m_lFiles.size() + static_cast<size_t>(lFiles.size()));
    for (const QJsonValue oFile : lFiles) {
        m_lFiles.emplace_back();
        readFile(oFile.toObject(), bFromAssets, m_lFiles.back());
    }
}

void TPackageConfigurationReader::readChunk(const QJsonObject& oObject, bool bFromAssets, TChunkDescription& oChunk)
{
    const QString sUrl = jsonText(oObject.value(QLatin1String("url")));
    if (!sUrl.isEmpty()) {
        const QByteArray aUrl = sUrl.toUtf8();
        oChunk.m_nUrlOffset = static_cast<quint32>(m_aAddressTexts.size());
        oChunk.m_nUrlLength = static_cast<quint32>(aUrl.size());
        m_aAddressTexts.append(aUrl);
    }
    oChunk.m_nOwner = m_nSerial;
    oChunk.m_bUrlFromAssets = bFromAssets;
    oChunk.m_nPackedSize = jsonFileSize(oObject.value(QLatin1String("packedsize")));
    oChunk.m_oPackedHash = jsonDigest(oObject.value(QLatin1String("packedhash")));
    oChunk.m_nUnpackedSize = jsonFileSize(oObject.value(QLatin1String("unpackedsize")));
    oChunk.m_oUnpackedHash = jsonDigest(oObject.value(QLatin1String("unpackedhash")));
    oChunk.m_bUnpack = jsonBool(oObject.value(QLatin1String("unpack")), true);
}

void TPackageConfigurationReader::readFile(const QJsonObject& oObject, bool bFromAssets, TFileDescription& oFile)
{
    oFile.m_sLocalFile = jsonText(oObject.value(QLatin1String("localfile")));
    oFile.m_bExecutable = jsonBool(oObject.value(QLatin1String("executable")), false);
    readChunk(oObject, bFromAssets, oFile.m_oPackedForm);

    const QJsonValue oChunks = oObject.value(QLatin1String("chunks"));
    if (oChunks.isArray()) {
        const QJsonArray lChunks = oChunks.toArray();
        oFile.m_lChunks.reserve(static_cast<size_t>(lChunks.size()));
        for (const QJsonValue oIndex : lChunks)
            oFile.m_lChunks.push_back(jsonInt32(oIndex, -1));
    }

    const QJsonValue oPatches = oObject.value(QLatin1String("patches"));
    if (oPatches.isArray()) {
        const QUrl& oBase = bFromAssets ? m_oAssetBaseUrl : m_oPackageBaseUrl;
        for (const QJsonValue oPatchValue : oPatches.toArray()) {
            const QJsonObject oPatch = oPatchValue.toObject();
            const QJsonValue oUrl = oPatch.value(QLatin1String("url"));
            oFile.m_lPatches.emplace_back(oUrl.isString() ? resolveAgainstBase(oBase, oUrl.toString()) : oBase,
                                          jsonInt32(oPatch.value(QLatin1String("fromversion")), 0),
                                          jsonInt32(oPatch.value(QLatin1String("toversion")), 0),
                                          jsonInt32(oPatch.value(QLatin1String("size")), 0));
        }
    }
}

QString TPackageConfigurationReader::versionLabel() const
{
    const QString sUnknown = QStringLiteral("?");
    return QStringLiteral("P%1 A%2").arg(m_sVersion.isEmpty() ? sUnknown : m_sVersion,
                                         m_sAssetVersion.isEmpty() ? sUnknown : m_sAssetVersion);
}

QUrl TPackageConfigurationReader::url(const TChunkDescription& oChunk) const
{
    // Another reader's offsets point into other texts and its base is not ours.
    if (oChunk.m_nOwner != m_nSerial) {
        qWarning() << "A chunk description was resolved through a configuration that did not list it.";
        return QUrl();
    }
    if (!oChunk.hasUrl() || quint64(oChunk.m_nUrlOffset) + oChunk.m_nUrlLength > quint64(m_aAddressTexts.size()))
        return QUrl();
    const QString sAddress
        = QString::fromUtf8(m_aAddressTexts.constData() + oChunk.m_nUrlOffset, static_cast<int>(oChunk.m_nUrlLength));
    return resolveAgainstBase(oChunk.m_bUrlFromAssets ? m_oAssetBaseUrl : m_oPackageBaseUrl, sAddress);
}

} // namespace velmar::launcher
