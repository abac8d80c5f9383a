#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class QTemporaryFile;

// Replaces the documents of a CDN folder as nearly at once as the file system
// allows. stage() writes each new document in full to a temporary file in the
// folder and flushes it to disk; commit() then only renames, back to back, in
// the order staged, so that the moment in which a reader finds one document new
// and the other old is as short as it can be.
class TDocumentSwap
{
public:
    explicit TDocumentSwap(QString sFolder);
    ~TDocumentSwap();
    TDocumentSwap(const TDocumentSwap&) = delete;
    TDocumentSwap& operator=(const TDocumentSwap&) = delete;

    // Throws std::runtime_error; the folder's documents are untouched until commit().
    void stage(const QString& sName, const QByteArray& aBytes);
    // The document goes, in its turn among the renames.
    void stageRemoval(const QString& sName);

    // Throws std::runtime_error after putting back every document it had
    // already replaced or removed, so that the folder keeps the documents it had.
    void commit();

private:
    struct TStep
    {
        QString sName;
        // Null for a removal.
        std::unique_ptr<QTemporaryFile> pNew;
        QString sTemporary;
        // A second name for the document in place, to put it back.
        QString sBackup;
        bool bDone = false;
    };

    QString path(const QString& sName) const;
    void undo();

    QString m_sFolder;
    std::vector<TStep> m_lSteps;
};
