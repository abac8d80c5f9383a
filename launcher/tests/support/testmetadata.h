#pragma once

#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "launcher/documents/packageconfigurationreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <memory>

// Metadata of packages "Client 0".., each with a Linux build already configured
// as version "1.<index>" without files. sExtra is pasted into every package
// object (ending in a comma); lFolders names their folders ("c<index>" otherwise).
inline std::shared_ptr<velmar::launcher::TLauncherConfigurationReader>
packagesMetadata(int nPackages, const QString& sExtra = QString(), const QStringList& lFolders = {})
{
    using namespace velmar::launcher;
    QStringList lPackages;
    for (int nPackage = 0; nPackage < nPackages; ++nPackage) {
        lPackages << QStringLiteral("{\"name\": \"Client %1\", \"directoryname\": \"%2\", %3 \"builds\": [{\"os\": "
                                    "\"linux\", \"architecture\": \"x86_64\", \"url\": \"http://127.0.0.1:9/p/package.json\"}]}")
                         .arg(nPackage)
                         .arg(lFolders.isEmpty() ? QStringLiteral("c%1").arg(nPackage) : lFolders[nPackage], sExtra);
    }
    auto pMetadata = std::make_shared<TLauncherConfigurationReader>(
        QStringLiteral("{\"packages\": [%1]}").arg(lPackages.join(QLatin1Char(','))).toUtf8(), QUrl());
    for (const auto& pPackage : pMetadata->packages()) {
        pPackage->platformBuild()->setConfiguration(std::make_shared<TPackageConfigurationReader>(
            QStringLiteral("{\"version\": \"1.%1\", \"files\": []}").arg(pPackage->index()).toUtf8(), QByteArray(), QUrl(), QUrl()));
    }
    return pMetadata;
}

// Gives pPackage a configuration of one file, sFile, made of nChunks times one
// chunk of aChunkHash (hex) stored as it is; returns the package document, for
// a test that puts it into the folder as the installed one too.
inline QByteArray setOneFileConfiguration(velmar::launcher::TPackage& oPackage, const QString& sVersion, const QString& sFile,
                                          double fChunkSize, const QString& sChunkHash, int nChunks, const QString& sFileHash,
                                          bool bExecutable = false)
{
    using namespace velmar::launcher;
    QJsonArray lIndices;
    for (int nChunk = 0; nChunk < nChunks; ++nChunk)
        lIndices.append(0);
    const QJsonObject oDocument{
        {QStringLiteral("version"), sVersion},
        {QStringLiteral("chunks"), QJsonArray{QJsonObject{{QStringLiteral("url"), QStringLiteral("chunks/c")},
                                                          {QStringLiteral("packedsize"), fChunkSize},
                                                          {QStringLiteral("packedhash"), sChunkHash},
                                                          {QStringLiteral("unpackedsize"), fChunkSize},
                                                          {QStringLiteral("unpackedhash"), sChunkHash}}}},
        {QStringLiteral("files"), QJsonArray{QJsonObject{{QStringLiteral("localfile"), sFile},
                                                         {QStringLiteral("unpackedsize"), fChunkSize * nChunks},
                                                         {QStringLiteral("unpackedhash"), sFileHash},
                                                         {QStringLiteral("executable"), bExecutable},
                                                         {QStringLiteral("chunks"), lIndices}}}}};
    const QByteArray aDocument = QJsonDocument(oDocument).toJson(QJsonDocument::Compact);
    oPackage.platformBuild()->setConfiguration(
        std::make_shared<TPackageConfigurationReader>(aDocument, QByteArray(), QUrl(QStringLiteral("http://127.0.0.1:9/p/")), QUrl()));
    return aDocument;
}
