#include "sourcetree.h"

#include <QFile>
#include <QTextCodec>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int nError)
{
    return QString::fromLocal8Bit(std::strerror(nError));
}

// Valid UTF-8 is what every file system and the JSON documents can carry; names
// in other encodings would arrive on players' disks garbled.
bool isValidUtf8(const QByteArray& aName)
{
    QTextCodec::ConverterState oState;
    QTextCodec::codecForMib(106)->toUnicode(aName.constData(), aName.size(), &oState);
    return oState.invalidChars == 0 && oState.remainingChars == 0;
}

// The name with every byte outside printable ASCII written as \xNN.
QString escapedName(const QByteArray& aName)
{
    QString sText;
    for (const char cByte : aName) {
        const auto nByte = static_cast<unsigned char>(cByte);
        if (nByte >= 0x20 && nByte < 0x7F)
            sText += QLatin1Char(cByte);
        else
            sText += QStringLiteral("\\x%1").arg(nByte, 2, 16, QLatin1Char('0'));
    }
    return sText;
}

QByteArray canonicalPath(const QByteArray& aPath)
{
    std::unique_ptr<char, decltype(&std::free)> pResolved(realpath(aPath.constData(), nullptr), &std::free);
    return pResolved ? QByteArray(pResolved.get()) : QByteArray();
}

struct TDirectoryCloser
{
    void operator()(DIR* pDirectory) const { closedir(pDirectory); }
};

bool isInside(const QByteArray& aRoot, const QByteArray& aPath)
{
    return aPath == aRoot || aPath.startsWith(aRoot == "/" ? aRoot : aRoot + '/');
}

qint64 nanoseconds(const timespec& oTime)
{
    return qint64(oTime.tv_sec) * 1000000000 + oTime.tv_nsec;
}

bool sameFile(const struct stat& oStatus, const TSourceFile& oFile)
{
    return S_ISREG(oStatus.st_mode) && quint64(oStatus.st_size) == oFile.nSize
           && nanoseconds(oStatus.st_mtim) == oFile.nModified && nanoseconds(oStatus.st_ctim) == oFile.nChanged
           && quint64(oStatus.st_ino) == oFile.nInode && quint64(oStatus.st_dev) == oFile.nDevice;
}

} // namespace

TSourceTree::TSourceTree(const QString& sRoot)
{
    const QByteArray aRoot = QFile::encodeName(sRoot);
    timespec oNow{};
    clock_gettime(CLOCK_REALTIME_COARSE, &oNow);
    m_nWalkStarted = nanoseconds(oNow);
    struct stat oStatus {};
    if (::stat(aRoot.constData(), &oStatus) != 0) {
        m_lProblems << QStringLiteral("Cannot read the source folder '%1': %2").arg(sRoot, systemError(errno));
        return;
    }
    if (!S_ISDIR(oStatus.st_mode)) {
        m_lProblems << QStringLiteral("The source '%1' is not a folder.").arg(sRoot);
        return;
    }
    m_aCanonicalRoot = canonicalPath(aRoot);
    m_sCanonicalRoot = QFile::decodeName(m_aCanonicalRoot);
    std::vector<QByteArray> lAncestors{m_aCanonicalRoot};
    walk(m_aCanonicalRoot, QString(), lAncestors);
    std::sort(m_lFiles.begin(), m_lFiles.end(), [](const TSourceFile& oLeft, const TSourceFile& oRight) {
        return oLeft.sRelativePath < oRight.sRelativePath;
    });
}

bool TSourceTree::unchanged(const TSourceFile& oFile)
{
    struct stat oStatus {};
    return ::stat(QFile::encodeName(oFile.sPath).constData(), &oStatus) == 0 && sameFile(oStatus, oFile);
}

void TSourceTree::walk(const QByteArray& aFolder, const QString& sRelativeFolder, std::vector<QByteArray>& lAncestors)
{
    std::unique_ptr<DIR, TDirectoryCloser> pDirectory(opendir(aFolder.constData()));
    if (!pDirectory) {
        m_lProblems << QStringLiteral("Cannot read the folder '%1': %2")
                           .arg(sRelativeFolder.isEmpty() ? QStringLiteral(".") : sRelativeFolder, systemError(errno));
        return;
    }
    std::vector<QByteArray> lNames;
    for (;;) {
        errno = 0;
        const dirent* pEntry = readdir(pDirectory.get());
        if (!pEntry) {
            if (errno != 0)
                m_lProblems << QStringLiteral("Cannot read the folder '%1': %2").arg(sRelativeFolder, systemError(errno));
            break;
        }
        const QByteArray aName(pEntry->d_name);
        if (aName != "." && aName != "..")
            lNames.push_back(aName);
    }
    pDirectory.reset();
    // A stable order keeps the list of problems the same from run to run.
    std::sort(lNames.begin(), lNames.end());
    for (const QByteArray& aName : lNames)
        addEntry(aFolder, sRelativeFolder, aName, lAncestors);
}


void TSourceTree::addEntry(const QByteArray& aFolder, const QString& sRelativeFolder, const QByteArray& aName,
                           std::vector<QByteArray>& lAncestors)
{
    const QString sPrefix = sRelativeFolder.isEmpty() ? QString() : sRelativeFolder + QLatin1Char('/');
    if (!isValidUtf8(aName)) {
        m_lProblems << QStringLiteral("The name '%1%2' is not valid UTF-8.").arg(sPrefix, escapedName(aName));
        return;
    }
    const QString sRelative = sPrefix + QString::fromUtf8(aName);
    const QByteArray aPath = (aFolder == "/" ? aFolder : aFolder + '/') + aName;

    struct stat oStatus {};
    if (::lstat(aPath.constData(), &oStatus) != 0) {
        m_lProblems << QStringLiteral("Cannot read '%1': %2").arg(sRelative, systemError(errno));
        return;
    }
    QByteArray aRealPath = aPath;
    if (S_ISLNK(oStatus.st_mode)) {
        aRealPath = canonicalPath(aPath);
        if (aRealPath.isEmpty()) {
            m_lProblems << QStringLiteral("The symbolic link '%1' leads nowhere: %2").arg(sRelative, systemError(errno));
            return;
        }
        if (!isInside(m_aCanonicalRoot, aRealPath)) {
            m_lProblems << QStringLiteral("The symbolic link '%1' points outside the source, to '%2'.")
                               .arg(sRelative, QFile::decodeName(aRealPath));
            return;
        }
        if (::stat(aRealPath.constData(), &oStatus) != 0) {
            m_lProblems << QStringLiteral("Cannot read '%1': %2").arg(sRelative, systemError(errno));
            return;
        }
    }

    if (S_ISDIR(oStatus.st_mode)) {
        if (aRealPath != aPath && std::find(lAncestors.begin(), lAncestors.end(), aRealPath) != lAncestors.end()) {
            m_lProblems << QStringLiteral("The symbolic link '%1' leads in a circle.").arg(sRelative);
            return;
        }
        lAncestors.push_back(aRealPath == aPath ? canonicalPath(aPath) : aRealPath);
        walk(aPath, sRelative, lAncestors);
        lAncestors.pop_back();
        return;
    }
    if (!S_ISREG(oStatus.st_mode)) {
        m_lProblems << QStringLiteral("'%1' is a special file (device, pipe or socket); only files, folders and "
                                      "links to them inside the source can be published.")
                           .arg(sRelative);
        return;
    }
    const int nDescriptor = ::open(aPath.constData(), O_RDONLY | O_CLOEXEC);
    if (nDescriptor < 0) {
        m_lProblems << QStringLiteral("Cannot read '%1': %2").arg(sRelative, systemError(errno));
        return;
    }
    ::close(nDescriptor);

    TSourceFile oFile;
    oFile.sRelativePath = sRelative;
    oFile.sPath = QFile::decodeName(aPath);
    oFile.nSize = quint64(oStatus.st_size);
    oFile.nModified = nanoseconds(oStatus.st_mtim);
    oFile.nChanged = nanoseconds(oStatus.st_ctim);
    oFile.nInode = quint64(oStatus.st_ino);
    oFile.nDevice = quint64(oStatus.st_dev);
    oFile.bExecutable = (oStatus.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    m_lFiles.push_back(oFile);
}
