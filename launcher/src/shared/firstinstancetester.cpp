#include "firstinstancetester.h"

#include "namedfilemapping.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <memory>

namespace shared {

namespace {

// Qt's create() resets the segment's system lock instead of waiting on it, so
// two starts can interleave: one start's probe may remove the other's segment
// between its creation and its attachment, or a closing instance may remove the
// key file under a segment just created, and a third start then creates a second
// segment under a new key. Every claim, probe and release therefore holds a
// marker of its own for the few system calls it takes. A holder that died frees
// the marker at once; one that hangs is waited for only so long, and the claim
// then goes ahead as it would without the marker.
std::unique_ptr<TNamedFileMapping> holdClaimMarker(const QString& sNativeKey)
{
    const QByteArray aName = QFile::encodeName(QFileInfo(sNativeKey).fileName()) + ".claim";
    for (int nTry = 0; nTry < 10000; ++nTry) {
        auto pMarker = std::make_unique<TNamedFileMapping>(aName, true);
        if (pMarker->isHeld())
            return pMarker;
        QThread::usleep(500);
    }
    qWarning() << "Another start has held" << aName << "for 5 s; claiming without waiting any longer";
    return nullptr;
}

} // namespace

FirstInstanceTester::FirstInstanceTester(const QString& sKey, QObject* pParent)
    : QObject(pParent), m_sKey(sKey), m_oSharedMemory(sKey)
{
    const auto pClaim = holdClaimMarker(m_oSharedMemory.nativeKey());
    // A segment a crashed instance left under the same system key is removed and
    // the claim made again; a live instance's segment survives the probe.
    for (int nTry = 0; nTry < 3; ++nTry) {
        m_bFirstInstance = m_oSharedMemory.create(1, QSharedMemory::ReadWrite);
        if (m_bFirstInstance || m_oSharedMemory.error() != QSharedMemory::AlreadyExists
            || !releaseAbandonedSegment(m_oSharedMemory.nativeKey()))
            return;
    }
}

FirstInstanceTester::~FirstInstanceTester()
{
    // The last detach removes the segment and its key file: see holdClaimMarker.
    if (m_oSharedMemory.isAttached()) {
        const auto pClaim = holdClaimMarker(m_oSharedMemory.nativeKey());
        m_oSharedMemory.detach();
    }
}

QString FirstInstanceTester::serverName() const
{
    return QStringLiteral("instance-")
           + QString::fromLatin1(QCryptographicHash::hash(m_sKey.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

bool FirstInstanceTester::listenForLaterStarts()
{
    if (!m_bFirstInstance)
        return false;
    if (m_pServer)
        return m_pServer->isListening();
    m_pServer = new QLocalServer(this);
    // Only the first instance gets here: a socket file under the name is one a
    // crashed instance left, and would keep listen() from working.
    QLocalServer::removeServer(serverName());
    if (!m_pServer->listen(serverName())) {
        qWarning() << "Later starts cannot reach this one:" << m_pServer->errorString();
        return false;
    }
    connect(m_pServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* pSocket = m_pServer->nextPendingConnection()) {
            connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
            pSocket->disconnectFromServer();
            emit laterStartRefused();
        }
    });
    return true;
}

bool FirstInstanceTester::tellFirstInstance(int nTimeoutMilliseconds) const
{
    QLocalSocket oSocket;
    oSocket.connectToServer(serverName());
    if (!oSocket.waitForConnected(nTimeoutMilliseconds))
        return false;
    // The first instance closes its end once it has taken the start in.
    oSocket.waitForDisconnected(nTimeoutMilliseconds);
    return true;
}

} // namespace shared
