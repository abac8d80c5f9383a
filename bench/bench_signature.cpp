// What trusting signed metadata costs a launcher: the whole check of a signed
// envelope (layout, key, Ed25519 signature, serial, time) for a metadata of
// typical and of large size, and the pin check of a package document next to a
// plain SHA-256 of the same bytes, measured in the same run.
//   bench_signature [PIN-MIB [RUNS]]   (default 64 MiB, 5 runs)

#include "launcher/documents/documentpin.h"
#include "launcher/documents/envelopecheck.h"
#include "launcher/documents/signedenvelope.h"
#include "launcher/documents/trustedkeys.h"

#include "shared/ed25519privatekey.h"
#include "shared/sha256.h"
#include "shared/sha256digest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

template <typename TFunction>
double bestOf(int nRuns, int nRepeats, TFunction fnRun)
{
    double dBest = std::numeric_limits<double>::infinity();
    for (int nRun = 0; nRun < nRuns; ++nRun) {
        QElapsedTimer oTimer;
        oTimer.start();
        for (int nRepeat = 0; nRepeat < nRepeats; ++nRepeat) {
            if (!fnRun())
                return -1;
        }
        dBest = std::min(dBest, oTimer.nsecsElapsed() / 1e9 / nRepeats);
    }
    return dBest;
}

QByteArray randomBytes(int nSize, quint32 nSeed)
{
    QByteArray aData(nSize, Qt::Uninitialized);
    QRandomGenerator(nSeed).fillRange(reinterpret_cast<quint32*>(aData.data()), aData.size() / 4);
    return aData;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication oApplication(argc, argv);
    const QStringList lArguments = QCoreApplication::arguments();
    const int nMiB = lArguments.size() > 1 ? lArguments.at(1).toInt() : 64;
    const int nRuns = lArguments.size() > 2 ? std::max(1, lArguments.at(2).toInt()) : 5;
    if (nMiB <= 0 || nMiB >= 2048) {
        std::fprintf(stderr, "usage: bench_signature [PIN-MIB [RUNS]] with PIN-MIB from 1 to 2047\n");
        return 2;
    }

    const shared::TEd25519PrivateKey oKey = shared::TEd25519PrivateKey::generate();
    velmar::launcher::TTrustedKeys oKeys;
    oKeys.add(shared::TEd25519PrivateKey::generate().publicKey());
    oKeys.add(oKey.publicKey());
    const qint64 nNow = QDateTime::currentSecsSinceEpoch();
    QTextStream oOut(stdout);
    oOut << QStringLiteral("Signed envelope, whole check (two keys trusted), best of %1 runs\n").arg(nRuns);
    for (const int nPayload : {4 << 10, 64 << 10, 1 << 20}) {
        const QByteArray aEnvelope =
            velmar::launcher::TSignedEnvelope::seal(randomBytes(nPayload, 7), 100, nNow - 60, nNow + 86400, oKey);
        const double dSeconds = bestOf(nRuns, 200, [&] {
            return velmar::launcher::TEnvelopeCheck(aEnvelope, oKeys, 1, nNow).isCurrent();
        });
        if (dSeconds < 0) {
            std::fprintf(stderr, "a sound envelope was refused\n");
            return 1;
        }
        oOut << QStringLiteral("  metadata of %1 KiB   %2 us\n").arg(nPayload >> 10, 5).arg(dSeconds * 1e6, 9, 'f', 1);
    }

    const QByteArray aDocument = randomBytes(nMiB << 20, 20261207);
    const velmar::launcher::TDocumentPin oPin(quint64(aDocument.size()),
                                               shared::TSha256Digest::fromBytes(shared::TSha256::hash(aDocument)));
    const double dPin = bestOf(nRuns, 1, [&] { return oPin.mismatch(aDocument).isEmpty(); });
    const double dHash = bestOf(nRuns, 1, [&] { return !shared::TSha256::hash(aDocument).isEmpty(); });
    if (dPin < 0) {
        std::fprintf(stderr, "a pinned document did not match\n");
        return 1;
    }
    const double dMB = aDocument.size() / 1e6;
    oOut << QStringLiteral("Pin check of a %1 MiB document, MB/s\n").arg(nMiB);
    oOut << QStringLiteral("  TDocumentPin::mismatch   %1\n").arg(dMB / dPin, 9, 'f', 1);
    oOut << QStringLiteral("  TSha256::hash            %1\n").arg(dMB / dHash, 9, 'f', 1);
    return 0;
}
