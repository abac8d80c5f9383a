#include "commands.h"

#include "documentreading.h"
#include "progressreporter.h"
#include "toolio.h"

#include "launcher/documents/packageconfigurationreader.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <stdexcept>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

namespace {

QString diffUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish diff OLD-DOC NEW-DOC [--old-assets DOC] [--new-assets DOC]\n"
        "Tells what a launcher that has the version of OLD-DOC installed downloads to reach the\n"
        "version of NEW-DOC (package documents, each with its asset document if given), by the\n"
        "launcher's reuse rule, file by file of the new version:\n"
        "  - a file with the same path and the same unpacked hash as before: nothing;\n"
        "  - a changed or new file of fewer than two chunks: the whole file, its own packed form;\n"
        "  - any other file: those of its chunks whose unpacked hash is not among the chunks of\n"
        "    the old file of the same path.\n"
        "An address needed by several files, whole or as a chunk, counts once.\n"
        "Counts downloads and packed bytes, the bytes that travel.\n"
        "Exit codes: 0 done, 1 a document cannot be read, 2 wrong command line.\n");
}

struct TFetch
{
    int nUnchanged = 0;
    int nChanged = 0;
    int nNew = 0;
    int nWholeFiles = 0;
    quint64 nWholeBytes = 0;
    int nChunks = 0;
    quint64 nChunkBytes = 0;
};

const TChunkDescription* chunkAt(const TPackageConfigurationReader& oReader, qint32 nIndex)
{
    return nIndex >= 0 && size_t(nIndex) < oReader.chunks().size() ? &oReader.chunks()[size_t(nIndex)] : nullptr;
}

TFetch fetchedToUpdate(const TPackageConfigurationReader& oOld, const TPackageConfigurationReader& oNew)
{
    QHash<QString, const TFileDescription*> hOldFiles;
    for (const TFileDescription& oFile : oOld.files()) {
        if (!hOldFiles.contains(oFile.localFile()))
            hOldFiles.insert(oFile.localFile(), &oFile);
    }
    TFetch oFetch;
    // The launcher fetches each address once, however many files need its bytes.
    QSet<QString> lFetched;
    const auto fetchedFirstHere = [&lFetched](const QUrl& oUrl) {
        const int nBefore = lFetched.size();
        lFetched.insert(oUrl.toString());
        return lFetched.size() > nBefore;
    };
    for (const TFileDescription& oFile : oNew.files()) {
        const TFileDescription* pOld = hOldFiles.value(oFile.localFile());
        if (pOld && pOld->unpackedHash() == oFile.unpackedHash()) {
            ++oFetch.nUnchanged;
            continue;
        }
        ++(pOld ? oFetch.nChanged : oFetch.nNew);
        if (oFile.chunks().size() < 2) {
            if (fetchedFirstHere(oNew.url(oFile.packedForm()))) {
                ++oFetch.nWholeFiles;
                oFetch.nWholeBytes += oFile.packedForm().packedSize();
            }
            continue;
        }
        QSet<shared::TSha256Digest> lOldChunks;
        if (pOld) {
            for (const qint32 nIndex : pOld->chunks()) {
                if (const TChunkDescription* pChunk = chunkAt(oOld, nIndex))
                    lOldChunks.insert(pChunk->unpackedHash());
            }
        }
        for (const qint32 nIndex : oFile.chunks()) {
            const TChunkDescription* pChunk = chunkAt(oNew, nIndex);
            if (!pChunk || lOldChunks.contains(pChunk->unpackedHash()) || !fetchedFirstHere(oNew.url(*pChunk)))
                continue;
            ++oFetch.nChunks;
            oFetch.nChunkBytes += pChunk->packedSize();
        }
    }
    return oFetch;
}

} // namespace

int runDiff(const QStringList& lArguments)
{
    QCommandLineParser oParser;
    const QCommandLineOption oHelp({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help"));
    const QCommandLineOption oOldAssets(QStringLiteral("old-assets"), QString(), QStringLiteral("DOC"));
    const QCommandLineOption oNewAssets(QStringLiteral("new-assets"), QString(), QStringLiteral("DOC"));
    oParser.addOptions({oHelp, oOldAssets, oNewAssets});
    if (!oParser.parse(QStringList{QStringLiteral("corvane-publish diff")} + lArguments))
        return usageError(oParser.errorText(), diffUsage());
    if (oParser.isSet(oHelp)) {
        printOut(diffUsage());
        return kExitSuccess;
    }
    if (oParser.positionalArguments().size() != 2)
        return usageError(QStringLiteral("Expected OLD-DOC and NEW-DOC."), diffUsage());
    for (const QCommandLineOption* pSingle : {&oOldAssets, &oNewAssets}) {
        if (oParser.values(*pSingle).size() > 1)
            return usageError(QStringLiteral("--%1 is given more than once.").arg(pSingle->names().first()), diffUsage());
    }
    const QString sOld = oParser.positionalArguments().at(0);
    const QString sNew = oParser.positionalArguments().at(1);
    try {
        // Each pair's addresses are its own, relative to where its package document lies.
        const auto pOld = readPublishedDocuments(sOld, oParser.value(oOldAssets), folderBaseUrl(QFileInfo(sOld).path()));
        const auto pNew = readPublishedDocuments(sNew, oParser.value(oNewAssets), folderBaseUrl(QFileInfo(sNew).path()));
        const TFetch oFetch = fetchedToUpdate(*pOld, *pNew);
        const quint64 nBytes = oFetch.nWholeBytes + oFetch.nChunkBytes;
        printOut(QStringLiteral("From %1 to %2: %3 files, %4 unchanged, %5 changed, %6 new.\n")
                     .arg(pOld->versionLabel(), pNew->versionLabel())
                     .arg(pNew->files().size())
                     .arg(oFetch.nUnchanged)
                     .arg(oFetch.nChanged)
                     .arg(oFetch.nNew)
                 + QStringLiteral("Fetched: %1 downloads, %2 bytes (%3): %4 whole files, %5 bytes; %6 chunks, %7 bytes.\n")
                       .arg(oFetch.nWholeFiles + oFetch.nChunks)
                       .arg(nBytes)
                       .arg(byteCountText(nBytes))
                       .arg(oFetch.nWholeFiles)
                       .arg(oFetch.nWholeBytes)
                       .arg(oFetch.nChunks)
                       .arg(oFetch.nChunkBytes));
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        return kExitFailure;
    }
    return kExitSuccess;
}
