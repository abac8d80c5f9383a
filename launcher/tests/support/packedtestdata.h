#pragma once

#include <QByteArray>
#include <QtGlobal>

// Test data for the packed format, built here from the format's rules rather than
// with the code under test.

// Base-128 varint, least significant group first.
QByteArray testVarint(quint64 nValue);
// Marker, method, both sizes and the payload. nPackedSize defaults to the payload's size.
QByteArray packedTestStream(int nMethod, quint64 nUnpackedSize, const QByteArray& aPayload,
                            qint64 nPackedSize = -1);
// The payload of a stream made by packedTestStream() or by the packer (no leading zeros).
QByteArray payloadOfPackedStream(const QByteArray& aStream);

// Bytes from a fixed seed: the same arguments give the same bytes on every run.
QByteArray randomTestBytes(int nSize, quint32 nSeed);
// Words, spaces and line breaks from a fixed seed: compresses like text does.
QByteArray textLikeTestBytes(int nSize, quint32 nSeed);
