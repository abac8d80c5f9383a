#include "documentswap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::runtime_error swapError(const QString& sText)
{
    return std::runtime_error(QStringLiteral("%1: %2").arg(sText, QString::fromLocal8Bit(std::strerror(errno))).toStdString());
}

QByteArray nativePath(const QString& sPath)
{
    return QFile::encodeName(sPath);
}

} // namespace

TDocumentSwap::TDocumentSwap(QString sFolder) : m_sFolder(std::move(sFolder))
{
}

TDocumentSwap::~TDocumentSwap()
{
    for (const TStep& oStep : m_lSteps) {
        if (!oStep.sBackup.isEmpty())
            ::unlink(nativePath(oStep.sBackup).constData());
    }
}

QString TDocumentSwap::path(const QString& sName) const
{
    return m_sFolder + QLatin1Char('/') + sName;
}

void TDocumentSwap::stage(const QString& sName, const QByteArray& aBytes)
{
    TStep oStep;
    oStep.sName = sName;
    oStep.pNew = std::make_unique<QTemporaryFile>(path(QStringLiteral(".%1.XXXXXX").arg(sName)));
    QTemporaryFile& oFile = *oStep.pNew;
    if (!oFile.open() || oFile.write(aBytes) != aBytes.size() || !oFile.flush())
        throw std::runtime_error(
            QStringLiteral("Could not write '%1': %2").arg(path(sName), oFile.errorString()).toStdString());
    if (::fsync(oFile.handle()) != 0)
        throw swapError(QStringLiteral("Could not write '%1'").arg(path(sName)));
    // QTemporaryFile creates the file private to its owner; a document is public.
    oFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                         | QFileDevice::ReadOther);
    // Asking for the name gives the file one now, not between the renames.
    oStep.sTemporary = oFile.fileName();
    oFile.close();
    m_lSteps.push_back(std::move(oStep));
}

void TDocumentSwap::stageRemoval(const QString& sName)
{
    TStep oStep;
    oStep.sName = sName;
    m_lSteps.push_back(std::move(oStep));
}

void TDocumentSwap::commit()
{
    // Second names first, so that nothing can fail between the renames but the
    // renames themselves. No other run can be using the name: the caller holds
    // the folder's lock, and what a killed run left behind is stale.
    for (TStep& oStep : m_lSteps) {
        if (!QFileInfo::exists(path(oStep.sName)))
            continue;
        const QString sBackup = path(QStringLiteral(".%1.previous-%2").arg(oStep.sName).arg(QCoreApplication::applicationPid()));
        ::unlink(nativePath(sBackup).constData());
        if (::link(nativePath(path(oStep.sName)).constData(), nativePath(sBackup).constData()) != 0)
            throw swapError(QStringLiteral("Could not keep a second name for '%1'").arg(path(oStep.sName)));
        oStep.sBackup = sBackup;
    }
    for (TStep& oStep : m_lSteps) {
        const QByteArray aTarget = nativePath(path(oStep.sName));
        const int nResult = oStep.pNew ? ::rename(nativePath(oStep.sTemporary).constData(), aTarget.constData())
                                       : (oStep.sBackup.isEmpty() ? 0 : ::unlink(aTarget.constData()));
        if (nResult != 0) {
            const std::runtime_error oError = swapError(QStringLiteral("Could not replace '%1'").arg(path(oStep.sName)));
            undo();
            throw oError;
        }
        oStep.bDone = true;
    }
    // The renames themselves reach the disk with the folder.
    const int nFolder = ::open(nativePath(m_sFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nFolder >= 0) {
        ::fsync(nFolder);
        ::close(nFolder);
    }
}

void TDocumentSwap::undo()
{
    for (auto it = m_lSteps.rbegin(); it != m_lSteps.rend(); ++it) {
        if (!it->bDone)
            continue;
        const QByteArray aTarget = nativePath(path(it->sName));
        if (!it->sBackup.isEmpty() && ::rename(nativePath(it->sBackup).constData(), aTarget.constData()) == 0)
            it->sBackup.clear();
        else if (it->sBackup.isEmpty())
            ::unlink(aTarget.constData());
        it->bDone = false;
    }
}
