#pragma once

#include "noisebytes.h"

#include <QByteArray>
#include <QtGlobal>

// Test data for the packed format, built here from the format's rules rather than
// with the code under test.

// Marker, method, both sizes and the payload. nPackedSize defaults to the payload's size.
QByteArray packedTestStream(int nMethod, quint64 nUnpackedSize, const QByteArray& aPayload,
                            qint64 nPackedSize = -1);
// The payload of a stream made by packedTestStream() or by the packer (no leading zeros).
QByteArray payloadOfPackedStream(const QByteArray& aStream);

// Words, spaces and line breaks from a fixed seed: compresses like text does.
QByteArray textLikeTestBytes(int nSize, quint32 nSeed);
