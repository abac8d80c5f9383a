#include "desktopentry.h"

#include "launcher/window/launcherimages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace velmar::launcher {

namespace {

// The sizes tools/draw-images draws the icon in.
constexpr int kIconSizes[] = {48, 128, 256};

// One argument of an Exec key: quoted where the desktop entry rules reserve a
// character, then escaped as every string value is.
QString execArgument(const QString& sArgument)
{
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#`()");
    QString sArg = sArgument;
    sArg.replace(QLatin1Char('%'), QStringLiteral("%%"));
    bool bQuote = false;
    for (const QChar cCharacter : sArgument)
        bQuote = bQuote || kReserved.contains(cCharacter);
    if (bQuote) {
        QString sQuoted;
        for (const QChar cCharacter : qAsConst(sArg)) {
            if (cCharacter == QLatin1Char('"') || cCharacter == QLatin1Char('`') || cCharacter == QLatin1Char('$')
                || cCharacter == QLatin1Char('\\'))
                sQuoted += QLatin1Char('\\');
            sQuoted += cCharacter;
        }
        sArg = QLatin1Char('"') + sQuoted + QLatin1Char('"');
    }
    return sArg.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
}

void writeWhole(const QString& sPath, const QByteArray& aBytes)
{
    if (!QDir().mkpath(QFileInfo(sPath).path()))
        throw std::runtime_error(QStringLiteral("Cannot create the folder %1.").arg(QFileInfo(sPath).path()).toStdString());
    QSaveFile oFile(sPath);
    if (!oFile.open(QIODevice::WriteOnly) || oFile.write(aBytes) != aBytes.size() || !oFile.commit())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(sPath, oFile.errorString()).toStdString());
}

} // namespace

QString userDataFolder()
{
    const QString sDataHome = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    if (!sDataHome.isEmpty() && QDir::isAbsolutePath(sDataHome))
        return QDir::cleanPath(sDataHome);
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QByteArray desktopEntryText(const QString& sExecutable)
{
    for (const QChar cCharacter : sExecutable) {
        if (cCharacter.category() == QChar::Other_Control)
            throw std::runtime_error(
                QStringLiteral("A desktop entry cannot name the path %1.").arg(sExecutable.toHtmlEscaped()).toStdString());
    }
    const QString sCommand = execArgument(sExecutable);
    QString sTryExec = sExecutable;
    sTryExec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.4\n"
                          "Name=Corvane Online\n"
                          "GenericName=Game launcher\n"
                          "Comment=Install, update and play Corvane Online\n"
                          "Icon=%1\n"
                          "TryExec=%2\n"
                          "Exec=%3\n"
                          "Terminal=false\n"
                          "Categories=Game;\n"
                          "Keywords=Corvane;launcher;\n"
                          "Actions=open-launcher;\n"
                          "\n"
                          "[Desktop Action open-launcher]\n"
                          "Name=Open the launcher\n"
                          "Exec=%3 --show-ui\n")
        .arg(kDesktopEntryName, sTryExec, sCommand)
        .toUtf8();
}

QStringList installDesktopEntry(const QString& sExecutable, const QString& sDataFolder)
{
    initLauncherImages();
    QStringList lWritten;
    // The icons first: a menu that reads the new entry finds its icon.
    for (const int nSize : kIconSizes) {
        QFile oIcon(QStringLiteral(":/images/launcher/AppIcon_%1.png").arg(nSize));
        if (!oIcon.open(QIODevice::ReadOnly))
            throw std::runtime_error(QStringLiteral("The icon of %1 pixels is missing.").arg(nSize).toStdString());
        const QString sPath = QStringLiteral("%1/icons/hicolor/%2x%2/apps/%3.png").arg(sDataFolder).arg(nSize).arg(kDesktopEntryName);
        writeWhole(sPath, oIcon.readAll());
        lWritten << sPath;
    }
    const QString sEntry = QStringLiteral("%1/applications/%2.desktop").arg(sDataFolder, kDesktopEntryName);
    writeWhole(sEntry, desktopEntryText(sExecutable));
    lWritten << sEntry;
    return lWritten;
}

} // namespace velmar::launcher
