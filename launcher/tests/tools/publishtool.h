#pragma once

// Helpers shared by the tests that run corvane-publish and the other built tools:
// running them, editing documents, and taking stock of what a run left on disk.

#include "noisebytes.h"
#include "testfiles.h"
#include "testpaths.h"

#include "launcher/documents/packageconfigurationreader.h"
#include "shared/sha256.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

struct TToolRun
{
    int nExitCode = -1;
    // Ended by a signal (a crash point, say) rather than by exiting.
    bool bKilled = false;
    QString sOut;
    QString sErr;
    QString describe() const
    {
        return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(nExitCode).arg(sOut, sErr);
    }
};

// Fails the test, showing what the tool wrote, unless the run exprRun exited with nCode.
#define CORVANE_VERIFY_EXIT(exprRun, nCode)                                                                            \
    do {                                                                                                               \
        const TToolRun oRun_ = (exprRun);                                                                              \
        QVERIFY2(oRun_.nExitCode == (nCode), qPrintable(oRun_.describe()));                                            \
    } while (false)

// Runs one of the built tools. bUnprivileged drops the capabilities that let root
// read and write any file, so that file permissions mean for the tool what they
// mean for users. oEnvironment adds to the test's own environment.
inline TToolRun runBuiltTool(const QString& sName, const QStringList& lArguments, bool bUnprivileged = false,
                             const QProcessEnvironment& oEnvironment = QProcessEnvironment())
{
    QProcess oProcess;
    QString sProgram = builtExecutable(sName);
    QStringList lAll = lArguments;
    if (bUnprivileged && geteuid() == 0) {
        lAll = QStringList{QStringLiteral("--bounding-set"), QStringLiteral("-dac_override,-dac_read_search"),
                           QStringLiteral("--inh-caps"), QStringLiteral("-dac_override,-dac_read_search"), sProgram}
               + lArguments;
        sProgram = QStringLiteral("setpriv");
    }
    QProcessEnvironment oAll = QProcessEnvironment::systemEnvironment();
    oAll.insert(oEnvironment);
    oProcess.setProcessEnvironment(oAll);
    oProcess.start(sProgram, lAll);
    TToolRun oRun;
    if (!oProcess.waitForStarted() || !oProcess.waitForFinished(240000)) {
        oRun.sErr = oProcess.errorString();
        return oRun;
    }
    oRun.bKilled = oProcess.exitStatus() == QProcess::CrashExit;
    oRun.nExitCode = oRun.bKilled ? -1 : oProcess.exitCode();
    oRun.sOut = QString::fromUtf8(oProcess.readAllStandardOutput());
    oRun.sErr = QString::fromUtf8(oProcess.readAllStandardError());
    return oRun;
}

inline TToolRun runPublish(const QStringList& lArguments, bool bUnprivileged = false)
{
    return runBuiltTool(QStringLiteral("corvane-publish"), lArguments, bUnprivileged);
}

inline QJsonObject readJson(const QString& sPath)
{
    return QJsonDocument::fromJson(readTestFile(sPath)).object();
}

inline bool writeJson(const QString& sPath, const QJsonObject& oObject)
{
    return writeTestFile(sPath, QJsonDocument(oObject).toJson());
}

// The documents published in sFolder, read as the launcher reads them; their
// addresses lead into the folder unless another base is given.
inline std::unique_ptr<velmar::launcher::TPackageConfigurationReader> readPublished(const QString& sFolder,
                                                                                    QUrl oBase = QUrl())
{
    if (oBase.isEmpty())
        oBase = QUrl::fromLocalFile(sFolder + QLatin1Char('/'));
    return std::make_unique<velmar::launcher::TPackageConfigurationReader>(
        readTestFile(sFolder + QStringLiteral("/package.json")), readTestFile(sFolder + QStringLiteral("/assets.json")), oBase,
        oBase);
}

// Calls fnEdit on every entry of the document's "files" that names sName.
inline void editListedFile(QJsonObject& oDocument, const QString& sName, const std::function<void(QJsonObject&)>& fnEdit)
{
    QJsonArray lFiles = oDocument.value(QStringLiteral("files")).toArray();
    for (int nIndex = 0; nIndex < lFiles.size(); ++nIndex) {
        QJsonObject oFile = lFiles[nIndex].toObject();
        if (oFile.value(QStringLiteral("localfile")).toString() == sName) {
            fnEdit(oFile);
            lFiles[nIndex] = oFile;
        }
    }
    oDocument.insert(QStringLiteral("files"), lFiles);
}

// What the check command finds wrong with the folder; empty when it is sound.
inline QString unsoundness(const QString& sFolder)
{
    const TToolRun oRun = runPublish({QStringLiteral("check"), sFolder});
    return oRun.nExitCode == 0 ? QString() : oRun.describe();
}

// Every entry below the folder with what identifies its state: for files the
// size, the modification time, the inode and the hash of the bytes.
inline QMap<QString, QString> treeState(const QString& sFolder)
{
    QMap<QString, QString> hState;
    QDirIterator oIterator(sFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
    while (oIterator.hasNext()) {
        const QString sPath = oIterator.next();
        const QFileInfo oInfo = oIterator.fileInfo();
        const QString sRelative = QDir(sFolder).relativeFilePath(sPath);
        if (oInfo.isDir()) {
            hState.insert(sRelative, QStringLiteral("folder"));
        } else {
            struct stat oStatus {};
            ::lstat(QFile::encodeName(sPath).constData(), &oStatus);
            hState.insert(sRelative, QStringLiteral("%1 %2 %3 %4")
                                         .arg(oInfo.size())
                                         .arg(oInfo.lastModified().toMSecsSinceEpoch())
                                         .arg(quint64(oStatus.st_ino))
                                         .arg(QString::fromLatin1(shared::TSha256::hash(readTestFile(sPath)).toHex())));
        }
    }
    return hState;
}
