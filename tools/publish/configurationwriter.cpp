#include "configurationwriter.h"

#include "jsontext.h"

namespace {

QByteArray hex(const QByteArray& aDigest)
{
    return jsonString(QString::fromLatin1(aDigest.toHex()));
}

// Opening lines, one "key": value each, behind the document's brace.
QByteArray headerLines(const QList<QByteArray>& lMembers)
{
    QByteArray aText = "{\n";
    for (const QByteArray& aMember : lMembers)
        aText += "  " + aMember + ",\n";
    return aText;
}

QByteArray arrayLines(const char* pKey, const QList<QByteArray>& lElements)
{
    if (lElements.isEmpty())
        return "  " + jsonMember(pKey, "[]");
    QByteArray aText = "  " + jsonMember(pKey, "[\n");
    for (int nIndex = 0; nIndex < lElements.size(); ++nIndex)
        aText += "    " + lElements.at(nIndex) + (nIndex + 1 < lElements.size() ? ",\n" : "\n");
    return aText + "  ]";
}

} // namespace

TConfigurationWriter::TConfigurationWriter(const std::deque<TPublishedChunk>& lChunks)
    : m_lChunks(lChunks), m_lDocumentIndex(lChunks.size(), -1)
{
}

QByteArray TConfigurationWriter::packageDocument(const QString& sVersion, const QString& sExecutable,
                                                 const QString& sGeneration, const QString& sVariant,
                                                 const QStringList& lParameters,
                                                 const std::vector<const TPublishedFile*>& lFiles)
{
    return headerLines({jsonMember("version", jsonString(sVersion)),
                        jsonMember("executable", jsonString(sExecutable)),
                        jsonMember("generation", jsonString(sGeneration)),
                        jsonMember("variant", jsonString(sVariant)),
                        jsonMember("parameters", jsonStringArray(lParameters))})
           + chunksAndFiles(lFiles);
}

QByteArray TConfigurationWriter::assetDocument(const QString& sVersion, const std::vector<const TPublishedFile*>& lFiles)
{
    return headerLines({jsonMember("version", jsonString(sVersion))}) + chunksAndFiles(lFiles);
}

QByteArray TConfigurationWriter::chunksAndFiles(const std::vector<const TPublishedFile*>& lFiles)
{
    QList<QByteArray> lChunkObjects;
    for (const TPublishedFile* pFile : lFiles) {
        for (const int nChunk : pFile->lChunks) {
            if (m_lDocumentIndex[size_t(nChunk)] >= 0)
                continue;
            m_lDocumentIndex[size_t(nChunk)] = m_nNextIndex++;
            const TPublishedChunk& oChunk = m_lChunks[size_t(nChunk)];
            lChunkObjects << jsonObject({jsonMember("url", jsonString(oChunk.sUrl)),
                                         jsonMember("packedsize", jsonNumber(oChunk.nPackedSize)),
                                         jsonMember("packedhash", hex(oChunk.aPackedHash)),
                                         jsonMember("unpackedsize", jsonNumber(oChunk.nUnpackedSize)),
                                         jsonMember("unpackedhash", hex(oChunk.aUnpackedHash))});
        }
    }
    QList<QByteArray> lFileObjects;
    for (const TPublishedFile* pFile : lFiles)
        lFileObjects << fileObject(*pFile);
    return arrayLines("chunks", lChunkObjects) + ",\n" + arrayLines("files", lFileObjects) + "\n}\n";
}

QByteArray TConfigurationWriter::fileObject(const TPublishedFile& oFile) const
{
    QByteArray aIndices = "[";
    for (size_t nPosition = 0; nPosition < oFile.lChunks.size(); ++nPosition)
        aIndices += (nPosition ? ", " : "") + QByteArray::number(m_lDocumentIndex[size_t(oFile.lChunks[nPosition])]);
    aIndices += ']';
    QList<QByteArray> lMembers{jsonMember("localfile", jsonString(oFile.sLocalFile)),
                               jsonMember("unpackedsize", jsonNumber(oFile.nSize)),
                               jsonMember("unpackedhash", hex(oFile.aHash)),
                               jsonMember("executable", jsonBool(oFile.bExecutable)),
                               jsonMember("chunks", aIndices)};
    // A file the launcher replaces whole is fetched through its own packed form.
    if (oFile.nPackedForm >= 0) {
        const TPublishedChunk& oForm = m_lChunks[size_t(oFile.nPackedForm)];
        lMembers << jsonMember("url", jsonString(oForm.sUrl)) << jsonMember("packedsize", jsonNumber(oForm.nPackedSize))
                 << jsonMember("packedhash", hex(oForm.aPackedHash));
    }
    return jsonObject(lMembers);
}
