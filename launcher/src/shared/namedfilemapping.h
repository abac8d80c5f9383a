#pragma once

#include <QByteArray>

namespace shared {

// A name that other processes can see while this object holds it. The name
// vanishes with the holding process, however that process ends, so a crash never
// leaves a stale "program is running" marker behind.
class TNamedFileMapping
{
public:
    // With bCreate clear only the name is kept. With it set the name is taken
    // unless another process holds it already, in which case nothing is held.
    // Throws std::runtime_error "Error from CreateFileMapping: <errno>" on failure.
    TNamedFileMapping(const QByteArray& aName, bool bCreate);
    ~TNamedFileMapping();
    TNamedFileMapping(const TNamedFileMapping&) = delete;
    TNamedFileMapping& operator=(const TNamedFileMapping&) = delete;

    bool isHeld() const { return m_nHandle >= 0; }
    const QByteArray& name() const { return m_aName; }

    // Whether some live process holds the name.
    static bool exists(const QByteArray& aName);

private:
    int m_nHandle = -1;
    QByteArray m_aName;
};

} // namespace shared
