#pragma once

#include "launcher/documents/launcherconfigurationreader.h"
#include "launcher/documents/package.h"
#include "launcher/documents/packagebuild.h"
#include "launcher/documents/packageconfigurationreader.h"

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
