#pragma once

#include <QStringList>

// One function per command of corvane-publish. Each gets the arguments after the
// command's name and returns the process exit code: 0 on success, 1 when the work
// failed (the reason on standard error), 2 for a wrong command line.

// pack --method {store,deflate,lzip,lzma,zpaq,crush} IN OUT
int runPack(const QStringList& lArguments);
// unpack [--lenient] IN OUT
int runUnpack(const QStringList& lArguments);
// chunks FILE
int runChunks(const QStringList& lArguments);
// build --source DIR --out CDNDIR --version V --executable REL [...]
int runBuild(const QStringList& lArguments);
// metadata --out FILE [--launcher-url URL ...] [--package NAME --directory DIR --url URL ...]...
//          [--sign KEYFILE [--expires DAYS]]
int runMetadata(const QStringList& lArguments);
// keygen KEYFILE
int runKeygen(const QStringList& lArguments);
// public-key KEYFILE
int runPublicKey(const QStringList& lArguments);
// check CDNDIR [--jobs N] | check --metadata FILE --trusted-key KEY... [--jobs N]
int runCheck(const QStringList& lArguments);
// prune CDNDIR|REMOTE [--keep DOCUMENT]... [--dry-run]
int runPrune(const QStringList& lArguments);
// upload CDNDIR REMOTE [--dry-run] [--jobs N]
int runUpload(const QStringList& lArguments);
// diff OLD-DOC NEW-DOC [--old-assets DOC] [--new-assets DOC]
int runDiff(const QStringList& lArguments);
