#include "publishtool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

using TDocumentEdit = std::function<void(QJsonObject& oPackage)>;
using TFolderEdit = std::function<void(const QString& sFolder, const QJsonObject& oPackage)>;

QJsonObject fileNamed(const QJsonObject& oPackage, const QString& sName)
{
    for (const QJsonValue oFile : oPackage.value(QStringLiteral("files")).toArray()) {
        if (oFile.toObject().value(QStringLiteral("localfile")).toString() == sName)
            return oFile.toObject();
    }
    return QJsonObject();
}

QString firstChunkUrl(const QJsonObject& oPackage, const QString& sFile)
{
    const int nChunk = fileNamed(oPackage, sFile).value(QStringLiteral("chunks")).toArray().first().toInt();
    return oPackage.value(QStringLiteral("chunks")).toArray().at(nChunk).toObject().value(QStringLiteral("url")).toString();
}

} // namespace

Q_DECLARE_METATYPE(TDocumentEdit)
Q_DECLARE_METATYPE(TFolderEdit)

class TPublishCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findsWhatIsWrong_data();
    void findsWhatIsWrong();

private:
    QTemporaryDir m_oSource;
    QTemporaryDir m_oPublished;
};

void TPublishCheckTest::initTestCase()
{
    QVERIFY(writeTestFile(m_oSource.filePath(QStringLiteral("bin/client")), "client", true));
    QVERIFY(writeTestFile(m_oSource.filePath(QStringLiteral("small.txt")), "small"));
    QVERIFY(writeTestFile(m_oSource.filePath(QStringLiteral("large.bin")), QByteArray(6 << 20, 'a') + noiseBytes(1 << 20, 5)));
    const TToolRun oBuild = runPublish({QStringLiteral("build"), QStringLiteral("--source"), m_oSource.path(),
                                        QStringLiteral("--out"), m_oPublished.path(), QStringLiteral("--version"),
                                        QStringLiteral("1"), QStringLiteral("--executable"), QStringLiteral("bin/client"),
                                        QStringLiteral("--method"), QStringLiteral("deflate")});
    QVERIFY2(oBuild.nExitCode == 0, qPrintable(oBuild.describe()));
}

void TPublishCheckTest::findsWhatIsWrong_data()
{
    QTest::addColumn<TDocumentEdit>("fnEditDocument");
    QTest::addColumn<TFolderEdit>("fnEditFolder");
    QTest::addColumn<QStringList>("lMessages");
    const TDocumentEdit fnNoDocumentEdit = [](QJsonObject&) {};
    const TFolderEdit fnNoFolderEdit = [](const QString&, const QJsonObject&) {};

    QTest::newRow("sound") << fnNoDocumentEdit << fnNoFolderEdit << QStringList();
    QTest::newRow("chunk file missing")
        << fnNoDocumentEdit
        << TFolderEdit([](const QString& sFolder, const QJsonObject& oPackage) {
               QFile::remove(sFolder + QLatin1Char('/') + firstChunkUrl(oPackage, QStringLiteral("large.bin")));
           })
        << QStringList{QStringLiteral("the chunk file is missing"), QStringLiteral("file 'large.bin': cannot be built")};
    QTest::newRow("chunk file changed")
        << fnNoDocumentEdit
        << TFolderEdit([](const QString& sFolder, const QJsonObject& oPackage) {
               QFile oFile(sFolder + QLatin1Char('/') + firstChunkUrl(oPackage, QStringLiteral("small.txt")));
               oFile.open(QIODevice::ReadWrite);
               oFile.seek(oFile.size() - 1);
               oFile.write("X");
           })
        << QStringList{QStringLiteral("do not hash to packedhash"), QStringLiteral("the unpacked bytes do not hash to unpackedhash")};
    QTest::newRow("chunk file not packed")
        << fnNoDocumentEdit
        << TFolderEdit([](const QString& sFolder, const QJsonObject& oPackage) {
               writeTestFile(sFolder + QLatin1Char('/') + firstChunkUrl(oPackage, QStringLiteral("large.bin")), "p\x03\x05\x05junk");
           })
        << QStringList{QStringLiteral("does not unpack")};
    QTest::newRow("wrong packed size") << TDocumentEdit([](QJsonObject& oPackage) {
        QJsonArray lChunks = oPackage.value(QStringLiteral("chunks")).toArray();
        QJsonObject oChunk = lChunks[0].toObject();
        oChunk.insert(QStringLiteral("packedsize"), oChunk.value(QStringLiteral("packedsize")).toInt() + 1);
        lChunks[0] = oChunk;
        oPackage.insert(QStringLiteral("chunks"), lChunks);
    }) << fnNoFolderEdit << QStringList{QStringLiteral("packedsize says")};
    QTest::newRow("wrong file hash") << TDocumentEdit([](QJsonObject& oPackage) {
        editListedFile(oPackage, QStringLiteral("large.bin"), [](QJsonObject& oFile) {
            oFile.insert(QStringLiteral("unpackedhash"), QString(64, QLatin1Char('0')));
        });
    }) << fnNoFolderEdit << QStringList{QStringLiteral("file 'large.bin': its chunks do not hash to its unpackedhash")};
    QTest::newRow("wrong file size") << TDocumentEdit([](QJsonObject& oPackage) {
        editListedFile(oPackage, QStringLiteral("large.bin"), [](QJsonObject& oFile) { oFile.insert(QStringLiteral("unpackedsize"), 5); });
    }) << fnNoFolderEdit << QStringList{QStringLiteral("file 'large.bin': its chunks add up to 7340032 bytes, unpackedsize says 5")};
    QTest::newRow("chunk index beyond the list") << TDocumentEdit([](QJsonObject& oPackage) {
        editListedFile(oPackage, QStringLiteral("large.bin"), [](QJsonObject& oFile) {
            oFile.insert(QStringLiteral("chunks"), QJsonArray{0, 99});
        });
    }) << fnNoFolderEdit << QStringList{QStringLiteral("chunk index 99 does not exist")};
    QTest::newRow("address out of the folder") << TDocumentEdit([](QJsonObject& oPackage) {
        editListedFile(oPackage, QStringLiteral("small.txt"), [](QJsonObject& oFile) {
            oFile.insert(QStringLiteral("url"), QStringLiteral("../../etc/passwd"));
        });
    }) << fnNoFolderEdit << QStringList{QStringLiteral("does not lead to a file inside the folder")};
    QTest::newRow("address on the network") << TDocumentEdit([](QJsonObject& oPackage) {
        editListedFile(oPackage, QStringLiteral("small.txt"), [](QJsonObject& oFile) {
            oFile.insert(QStringLiteral("url"), QStringLiteral("https://cdn.example.invalid/x"));
        });
    }) << fnNoFolderEdit << QStringList{QStringLiteral("(https://cdn.example.invalid/x): the address does not lead")};
    QTest::newRow("no executable, a path that leaves, a file twice") << TDocumentEdit([](QJsonObject& oPackage) {
        QJsonArray lFiles = oPackage.value(QStringLiteral("files")).toArray();
        lFiles.append(lFiles.first());
        oPackage.insert(QStringLiteral("files"), lFiles);
        editListedFile(oPackage, QStringLiteral("bin/client"), [](QJsonObject& oFile) {
            oFile.insert(QStringLiteral("localfile"), QStringLiteral("../client"));
        });
    }) << fnNoFolderEdit
       << QStringList{QStringLiteral("the executable 'bin/client' is not among the files"),
                      QStringLiteral("file '../client': not a plain relative path"),
                      QStringLiteral("is listed more than once")};
    QTest::newRow("document not JSON")
        << fnNoDocumentEdit
        << TFolderEdit([](const QString& sFolder, const QJsonObject&) { writeTestFile(sFolder + QStringLiteral("/package.json"), "{\"version\":"); })
        << QStringList{QStringLiteral("package.json is not JSON")};
    QTest::newRow("no document")
        << fnNoDocumentEdit
        << TFolderEdit([](const QString& sFolder, const QJsonObject&) { QFile::remove(sFolder + QStringLiteral("/package.json")); })
        << QStringList{QStringLiteral("package.json cannot be read")};
}

void TPublishCheckTest::findsWhatIsWrong()
{
    QFETCH(TDocumentEdit, fnEditDocument);
    QFETCH(TFolderEdit, fnEditFolder);
    QFETCH(QStringList, lMessages);

    QTemporaryDir oDir;
    const QString sOutput = oDir.filePath(QStringLiteral("cdn"));
    QDirIterator oIterator(m_oPublished.path(), QDir::Files, QDirIterator::Subdirectories);
    while (oIterator.hasNext()) {
        const QString sPath = oIterator.next();
        QVERIFY(writeTestFile(sOutput + QLatin1Char('/') + QDir(m_oPublished.path()).relativeFilePath(sPath), readTestFile(sPath)));
    }
    const QString sDocument = sOutput + QStringLiteral("/package.json");
    QJsonObject oPackage = QJsonDocument::fromJson(readTestFile(sDocument)).object();
    fnEditDocument(oPackage);
    QVERIFY(writeTestFile(sDocument, QJsonDocument(oPackage).toJson()));
    fnEditFolder(sOutput, oPackage);

    const TToolRun oCheck = runPublish({QStringLiteral("check"), sOutput, QStringLiteral("--jobs"), QStringLiteral("3")});
    if (lMessages.isEmpty()) {
        QVERIFY2(oCheck.nExitCode == 0 && oCheck.sOut.contains(QStringLiteral("is sound: 3 files")), qPrintable(oCheck.describe()));
        return;
    }
    QVERIFY2(oCheck.nExitCode == 1, qPrintable(oCheck.describe()));
    for (const QString& sMessage : lMessages)
        QVERIFY2(oCheck.sErr.contains(sMessage), qPrintable(QStringLiteral("missing '%1' in\n%2").arg(sMessage, oCheck.describe())));
}

QTEST_GUILESS_MAIN(TPublishCheckTest)
#include "tst_publishcheck.moc"
