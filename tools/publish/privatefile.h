#pragma once

#include <QByteArray>
#include <QString>

// Writes a new file that only its owner may read or write, from the moment it
// exists: a signing key must never lie readable on disk, not even empty for an
// instant in which another user could open it and wait for the key. Refuses a
// path that exists already (also as a dangling link). Throws std::runtime_error
// with the reason, leaving no file behind.
void writeNewPrivateFile(const QString& sPath, const QByteArray& aData);
