#pragma once

#include <QString>
#include <QUrl>

#include <memory>

namespace velmar::launcher {
class TPackageConfigurationReader;
}

// The names the documents have in a published CDN folder.
inline const QString kPackageDocument = QStringLiteral("package.json");
inline const QString kAssetDocument = QStringLiteral("assets.json");

// A package document and, when sAssetPath is not empty, its asset document, read
// by the launcher's own reader with every address resolved against oBase. Throws
// std::runtime_error when a file cannot be read or the reader rejects it.
std::unique_ptr<velmar::launcher::TPackageConfigurationReader>
readPublishedDocuments(const QString& sPackagePath, const QString& sAssetPath, const QUrl& oBase);

// The same for documents already read; sNames names them in the error.
std::unique_ptr<velmar::launcher::TPackageConfigurationReader>
readPublishedDocumentBytes(const QByteArray& aPackage, const QByteArray& aAssets, const QUrl& oBase, const QString& sNames);

// The folder as a base URL, for documents that lie (or were served) there.
QUrl folderBaseUrl(const QString& sFolder);
