#include "documentreading.h"

#include "toolio.h"

#include "launcher/documents/packageconfigurationreader.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

using velmar::launcher::TPackageConfigurationReader;

std::unique_ptr<TPackageConfigurationReader> readPublishedDocuments(const QString& sPackagePath,
                                                                    const QString& sAssetPath, const QUrl& oBase)
{
    const QByteArray aPackage = readWholeFile(sPackagePath);
    const QByteArray aAssets = sAssetPath.isEmpty() ? QByteArray() : readWholeFile(sAssetPath);
    const QString sNames = sAssetPath.isEmpty() ? QStringLiteral("'%1'").arg(QDir::toNativeSeparators(sPackagePath))
                                                : QStringLiteral("'%1' and '%2'").arg(QDir::toNativeSeparators(sPackagePath),
                                                                                      QDir::toNativeSeparators(sAssetPath));
    return readPublishedDocumentBytes(aPackage, aAssets, oBase, sNames);
}

std::unique_ptr<TPackageConfigurationReader> readPublishedDocumentBytes(const QByteArray& aPackage, const QByteArray& aAssets,
                                                                        const QUrl& oBase, const QString& sNames)
{
    auto pReader = std::make_unique<TPackageConfigurationReader>(aPackage, aAssets, oBase, oBase);
    if (!pReader->isValid())
        throw std::runtime_error(QStringLiteral("The launcher cannot read %1.").arg(sNames).toStdString());
    return pReader;
}

QUrl folderBaseUrl(const QString& sFolder)
{
    return QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(sFolder).absoluteFilePath()) + QLatin1Char('/'));
}
