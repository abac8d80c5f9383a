#pragma once

#include "filesize.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QFileDevice;

namespace shared {

class TConfinedFolder;
class TSha256;

// File access for the install engine, where a short read or write must never
// pass unnoticed: every operation throws the "I/O error on file" runtime error
// naming the file and the failed step. Offsets and sizes are 64-bit throughout.

QByteArray readExactlyAt(QFileDevice& oFile, TFileSize nOffset, TFileSize nSize);
void writeAllAt(QFileDevice& oFile, TFileSize nOffset, const QByteArray& aData);
void resizeFile(QFileDevice& oFile, TFileSize nSize);
// Feeds bytes [nFrom, nTo) of the file to the hash, in pieces of at most 1 MiB.
void hashRange(QFileDevice& oFile, TFileSize nFrom, TFileSize nTo, TSha256& oHash);
// The raw SHA-256 digest of the whole file sRelative below oFolder; throws when
// it cannot be read. fnBeforeEachPiece, when given, runs before each piece is
// read (and may throw to end the work early).
QByteArray hashFile(const TConfinedFolder& oFolder, const QString& sRelative,
                    const std::function<void()>& fnBeforeEachPiece = std::function<void()>());
// Flushes the file's data to the disk (fsync).
void syncFile(QFileDevice& oFile);
// Asks the kernel to start writing the file's data to the disk without waiting
// for it; a hint that guarantees nothing and fails silently.
void startWriteback(QFileDevice& oFile);
// Flushes everything written to the file system that holds sPath (syncfs): one
// call before a marker claims that many files are complete.
void syncFileSystem(const QString& sPath);

// The bytes of the file sRelative below oFolder; empty when there is none.
QByteArray readFileIfExists(const TConfinedFolder& oFolder, const QString& sRelative);
// Whether readFileIfExists() would return aData, read a piece at a time: a
// package document of tens of MiB is compared without a second copy of it.
bool fileHolds(const TConfinedFolder& oFolder, const QString& sRelative, const QByteArray& aData);
// Replaces the file sRelative below oFolder as a whole, making its folders: the
// bytes are written beside it, flushed to the disk and renamed over it, so that
// a crash or a full disk leaves the old file or the new one, never a torn one.
void replaceFile(const TConfinedFolder& oFolder, const QString& sRelative, const QByteArray& aData);

} // namespace shared
