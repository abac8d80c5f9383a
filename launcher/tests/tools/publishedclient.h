#pragma once

// A published client for the tests of corvane-publish build: a client folder
// that has what real ones have, the build command line, and reading the result
// back as the launcher does.

#include "publishtool.h"

#include "launcher/packageconfigurationreader.h"
#include "shared/packeddata.h"

#include <QSet>
#include <QUrl>

#include <memory>

using velmar::launcher::TChunkDescription;
using velmar::launcher::TFileDescription;
using velmar::launcher::TPackageConfigurationReader;

struct TExpectedFile
{
    QByteArray aBytes;
    bool bExecutable = false;
};
using TExpectedTree = QMap<QString, TExpectedFile>;

enum class ESize
{
    // Chunked files of 20 MiB and more.
    Large,
    // One file of two chunks.
    Small,
    // Every file one chunk, for the slowest packers.
    Tiny,
};

// A client folder with what a real one has: an executable, a library, large files
// with and without boundaries, an empty file, a file name beyond ASCII, the same
// bytes under several names (in the package and in the assets), and symbolic
// links to a file and to a folder inside it. Returns what the launcher must install.
inline TExpectedTree makeClient(const QString& sRoot, ESize eSize)
{
    TExpectedTree hFiles;
    const auto add = [&](const QString& sPath, const QByteArray& aBytes, bool bExecutable = false) {
        writeTestFile(sRoot + QLatin1Char('/') + sPath, aBytes, bExecutable);
        hFiles.insert(sPath, {aBytes, bExecutable});
    };
    const QByteArray aReadme = "Corvane Online\nRead me first.\n";
    add(QStringLiteral("bin/client"), "#!/bin/sh\necho running\n", true);
    add(QStringLiteral("bin/libgame.so"),
        eSize == ESize::Tiny ? noiseBytes(3000, 7) + QByteArray(2000, 'x') : noiseBytes(300000, 7) + QByteArray(200000, 'x'));
    add(QStringLiteral("readme.txt"), aReadme);
    add(QStringLiteral("empty.cfg"), QByteArray());
    add(QString::fromUtf8("Sprachen/Größe – ä.txt"), "groß\n");
    add(QStringLiteral("docs/manual.txt"), "manual\n");
    add(QStringLiteral("assets/sounds/readme-again.txt"), aReadme);
    add(QStringLiteral("assets/textures/stone.tex"), noiseBytes(eSize == ESize::Tiny ? 1500 : 150000, 9));
    add(QStringLiteral("assets/empty.dat"), QByteArray());
    if (eSize == ESize::Large) {
        add(QStringLiteral("data/zeros.bin"), QByteArray(20 << 20, '\0'));
        add(QStringLiteral("data/level.pak"), noiseBytes(20 << 20, 11));
    } else if (eSize == ESize::Small) {
        add(QStringLiteral("data/level.pak"), QByteArray(5 << 20, 'L') + noiseBytes(1 << 20, 11));
    } else {
        add(QStringLiteral("data/level.pak"), noiseBytes(1000, 11) + QByteArray(30000, 'L'));
    }
    QFile::link(QStringLiteral("client"), sRoot + QStringLiteral("/bin/client-link"));
    hFiles.insert(QStringLiteral("bin/client-link"), hFiles.value(QStringLiteral("bin/client")));
    QFile::link(QStringLiteral("docs"), sRoot + QStringLiteral("/manual"));
    hFiles.insert(QStringLiteral("manual/manual.txt"), hFiles.value(QStringLiteral("docs/manual.txt")));
    QDir().mkpath(sRoot + QStringLiteral("/empty-folder"));
    return hFiles;
}

inline QStringList buildArguments(const QString& sSource, const QString& sOutput, const QString& sMethod)
{
    return {QStringLiteral("build"),       QStringLiteral("--source"),     sSource,
            QStringLiteral("--out"),       sOutput,                        QStringLiteral("--version"),
            QStringLiteral("2.5"),         QStringLiteral("--executable"), QStringLiteral("bin/client"),
            QStringLiteral("--assets"),    QStringLiteral("assets"),       QStringLiteral("--asset-version"),
            QStringLiteral("A7"),          QStringLiteral("--parameter"),  QStringLiteral("-windowed"),
            QStringLiteral("--parameter"), QStringLiteral("two words"),    QStringLiteral("--method"),
            sMethod,                       QStringLiteral("--jobs"),       QStringLiteral("2")};
}

inline std::unique_ptr<TPackageConfigurationReader> readBack(const QString& sOutput)
{
    const QUrl oBase = QUrl::fromLocalFile(sOutput + QLatin1Char('/'));
    return std::make_unique<TPackageConfigurationReader>(readTestFile(sOutput + QStringLiteral("/package.json")),
                                                         readTestFile(sOutput + QStringLiteral("/assets.json")), oBase,
                                                         oBase);
}

// What the launcher would download for this chunk, unpacked; null when it is not there.
inline QByteArray fetchLocal(const TPackageConfigurationReader& oReader, const TChunkDescription& oChunk)
{
    QFile oFile(oReader.url(oChunk).toLocalFile());
    if (!oFile.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray aPacked = oFile.readAll();
    if (oChunk.packedHash() != shared::TSha256::hash(aPacked) || oChunk.packedSize() != quint64(aPacked.size()))
        return QByteArray();
    const QByteArray aBytes = oChunk.unpack() ? shared::unpackStrict(aPacked) : aPacked;
    return aBytes.isNull() ? QByteArray("", 0) : aBytes;
}

inline QSet<QString> chunkUrls(const TPackageConfigurationReader& oReader)
{
    QSet<QString> lUrls;
    for (const TChunkDescription& oChunk : oReader.chunks())
        lUrls.insert(oReader.url(oChunk).toLocalFile());
    for (const TFileDescription& oFile : oReader.files()) {
        if (oFile.packedForm().hasUrl())
            lUrls.insert(oReader.url(oFile.packedForm()).toLocalFile());
    }
    return lUrls;
}

Q_DECLARE_METATYPE(ESize)
