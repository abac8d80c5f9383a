#include "commands.h"

#include "privatefile.h"
#include "toolio.h"

#include "shared/ed25519privatekey.h"

#include <exception>

namespace {

QString keygenUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish keygen KEYFILE\n"
        "Makes an Ed25519 key pair for signing the launcher metadata (metadata --sign KEYFILE).\n"
        "Writes the private key to KEYFILE (PEM, readable by its owner only; an existing file is\n"
        "never overwritten) and prints the public key, which launchers are built with\n"
        "(cmake -DCORVANE_TRUSTED_KEYS=KEY) or given in launchersettings.ini ([SIGNING] trustedKeys).\n"
        "Keep KEYFILE on the machine that builds releases, never on the CDN host.\n"
        "Exit codes: 0 written, 1 failed, 2 wrong command line.\n");
}

QString publicKeyUsage()
{
    return QStringLiteral(
        "Usage: corvane-publish public-key KEYFILE\n"
        "Prints the public key of the private key in KEYFILE, as launchers are given it.\n"
        "Exit codes: 0 printed, 1 failed, 2 wrong command line.\n");
}

// The public key on a line of its own on standard output, for scripts; the rest for people.
void printPublicKey(const shared::TEd25519PublicKey& oKey)
{
    printOut(oKey.toText() + QLatin1Char('\n'));
}

} // namespace

int runKeygen(const QStringList& lArguments)
{
    if (wantsHelp(lArguments)) {
        printOut(keygenUsage());
        return kExitSuccess;
    }
    if (lArguments.size() != 1 || lArguments.first().startsWith(QLatin1String("--")))
        return usageError(QStringLiteral("Expected exactly one KEYFILE."), keygenUsage());
    try {
        const shared::TEd25519PrivateKey oKey = shared::TEd25519PrivateKey::generate();
        writeNewPrivateFile(lArguments.first(), oKey.toPem());
        printPublicKey(oKey.publicKey());
        printError(QStringLiteral("Private key written to '%1' (key ID %2). Keep it on the build machine; launchers\n"
                                  "trust the public key above.")
                       .arg(lArguments.first(), oKey.publicKey().keyIdText()));
    } catch (const std::exception& oError) {
        printError(QString::fromUtf8(oError.what()));
        return kExitFailure;
    }
    return kExitSuccess;
}

int runPublicKey(const QStringList& lArguments)
{
    if (wantsHelp(lArguments)) {
        printOut(publicKeyUsage());
        return kExitSuccess;
    }
    if (lArguments.size() != 1 || lArguments.first().startsWith(QLatin1String("--")))
        return usageError(QStringLiteral("Expected exactly one KEYFILE."), publicKeyUsage());
    try {
        printPublicKey(shared::TEd25519PrivateKey::fromPem(readWholeFile(lArguments.first())).publicKey());
    } catch (const std::exception& oError) {
        printError(QStringLiteral("'%1': %2").arg(lArguments.first(), QString::fromUtf8(oError.what())));
        return kExitFailure;
    }
    return kExitSuccess;
}
