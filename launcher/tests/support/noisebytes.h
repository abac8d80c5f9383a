#pragma once

#include <QByteArray>

// Deterministic bytes that look random to a packer and to the rolling hash of
// the content-defined chunker (splitmix64 from the seed).
QByteArray noiseBytes(int nSize, quint64 nSeed);
