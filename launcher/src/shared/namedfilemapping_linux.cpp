#include "namedfilemapping.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// A name is an abstract-namespace Unix socket bound and listened on by the
// holder: the kernel releases the binding when the last descriptor closes,
// including at process death, and nothing is left on disk. A checker only
// connects, so it never holds the name, not even for an instant, and a holder
// starting at that moment cannot lose it. The user id is part of the address so
// that two users on one machine do not see each other's markers.

namespace shared {

namespace {

socklen_t makeAddress(const QByteArray& aName, sockaddr_un& oAddress)
{
    std::memset(&oAddress, 0, sizeof oAddress);
    oAddress.sun_family = AF_UNIX;
    const QByteArray aAbstract = aName + '.' + QByteArray::number(static_cast<qulonglong>(::getuid()));
    const size_t nLength = std::min(static_cast<size_t>(aAbstract.size()), sizeof oAddress.sun_path - 1);
    std::memcpy(oAddress.sun_path + 1, aAbstract.constData(), nLength);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + nLength);
}

// Returns the bound descriptor, -1 when the name is taken, or throws.
int bindName(const QByteArray& aName)
{
    const int nSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nSocket < 0)
        throw std::runtime_error(QStringLiteral("Error from CreateFileMapping: %1").arg(errno).toStdString());
    sockaddr_un oAddress;
    const socklen_t nAddressLength = makeAddress(aName, oAddress);
    if (::bind(nSocket, reinterpret_cast<const sockaddr*>(&oAddress), nAddressLength) == 0
        && ::listen(nSocket, 1) == 0)
        return nSocket;
    const int nError = errno;
    ::close(nSocket);
    if (nError == EADDRINUSE)
        return -1;
    throw std::runtime_error(QStringLiteral("Error from CreateFileMapping: %1").arg(nError).toStdString());
}

} // namespace

TNamedFileMapping::TNamedFileMapping(const QByteArray& aName, bool bCreate) : m_aName(aName)
{
    if (bCreate)
        m_nHandle = bindName(m_aName);
}

TNamedFileMapping::~TNamedFileMapping()
{
    if (m_nHandle >= 0)
        ::close(m_nHandle);
}

bool TNamedFileMapping::exists(const QByteArray& aName)
{
    // Non-blocking: a holder never accepts, so once its short backlog is full a
    // blocking connect would wait for ever; a full backlog still means "held".
    const int nSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (nSocket < 0)
        throw std::runtime_error(QStringLiteral("Error from CreateFileMapping: %1").arg(errno).toStdString());
    sockaddr_un oAddress;
    const socklen_t nAddressLength = makeAddress(aName, oAddress);
    const bool bConnected = ::connect(nSocket, reinterpret_cast<const sockaddr*>(&oAddress), nAddressLength) == 0;
    const int nError = errno;
    ::close(nSocket);
    return bConnected || nError == EAGAIN || nError == EINPROGRESS;
}

} // namespace shared
