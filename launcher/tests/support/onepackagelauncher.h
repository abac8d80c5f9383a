#pragma once

// A launcher folder of its own with the metadata of one package, "Client 0",
// whose folder is packages/c0: the ground of the installation manager's tests.

#include "testmetadata.h"

#include "launcher/documents/launcherfilesystemhelper.h"

#include <QTemporaryDir>

#include <memory>

struct TOnePackageLauncher
{
    QTemporaryDir oLauncher;
    std::shared_ptr<velmar::launcher::TLauncherFilesystemHelper> pHelper =
        std::make_shared<velmar::launcher::TLauncherFilesystemHelper>(oLauncher.path());
    std::shared_ptr<velmar::launcher::TLauncherConfigurationReader> pMetadata = packagesMetadata(1);
    std::shared_ptr<velmar::launcher::TPackage> pPackage = pMetadata->packages().front();
    QString sFolder = oLauncher.filePath(QStringLiteral("packages/c0"));
};
