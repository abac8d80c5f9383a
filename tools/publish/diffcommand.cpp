#include "commands.h"

#include "documentreading.h"
#include "progressreporter.h"
#include "toolio.h"

#include "launcher/documents/packageconfigurationreader.h"
#include "launcher/documents/updatesize.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <stdexcept>

using velmar::launcher::TUpdateSize;

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
        "Counts downloads and packed bytes, the bytes that travel, and the room the new version\n"
        "needs beyond the old one: per file the growth over the old file of the same path, less\n"
        "the files the new version drops. The launcher's package button shows the same figures.\n"
        "Exit codes: 0 done, 1 a document cannot be read, 2 wrong command line.\n");
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
        const TUpdateSize oSize = velmar::launcher::updateSize(*pOld, *pNew);
        const quint64 nBytes = oSize.fetchedBytes();
        printOut(QStringLiteral("From %1 to %2: %3 files, %4 unchanged, %5 changed, %6 new.\n")
                     .arg(pOld->versionLabel(), pNew->versionLabel())
                     .arg(pNew->files().size())
                     .arg(oSize.m_nUnchanged)
                     .arg(oSize.m_nChanged)
                     .arg(oSize.m_nNew)
                 + QStringLiteral("Fetched: %1 downloads, %2 bytes (%3): %4 whole files, %5 bytes; %6 chunks, %7 bytes.\n")
                       .arg(oSize.downloads())
                       .arg(nBytes)
                       .arg(byteCountText(nBytes))
                       .arg(oSize.m_nWholeFiles)
                       .arg(oSize.m_nWholeBytes)
                       .arg(oSize.m_nChunks)
                       .arg(oSize.m_nChunkBytes)
                 + QStringLiteral("Room: %1 bytes more on disk (%2).\n")
                       .arg(oSize.m_nRoomBytes)
                       .arg(byteCountText(oSize.m_nRoomBytes)));
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        return kExitFailure;
    }
    return kExitSuccess;
}
